#include "bucket_options.h"

#include <charconv>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "number_text.h"

namespace mf4tool {

namespace {

// Accepts finite numbers only, and with `positive` only those above 0: a bucket without width
// or of endless width means nothing.
CLI::Validator finiteNumberOption(bool positive) {
    return CLI::Validator(
        [positive](std::string& text) -> std::string {
            const std::optional<double> value = finiteNumber(text);
            if (!value) return "not a finite number: " + text;
            if (positive && *value <= 0) return "not above 0: " + text;
            return {};
        },
        positive ? "POSITIVE" : "NUMBER");
}

// Accepts whole numbers above 0 in decimal digits only: read as an unsigned number, "-1"
// would otherwise slip through as the largest one.
CLI::Validator positiveCount() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            std::uint64_t value = 0;
            const char* end = text.data() + text.size();
            const auto [stop, error] = std::from_chars(text.data(), end, value);
            if (error != std::errc{} || stop != end || value == 0)
                return "not a whole number above 0: " + text;
            return {};
        },
        "POSITIVE");
}

// Turns a method's name into the library's code; the codes themselves are not accepted, so
// that the help and the errors name the methods only.
CLI::Validator methodCode() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            static const std::map<std::string, std::uint32_t> kCodes{
                {"minmax", MF4_DOWNSAMPLE_MIN_MAX},
                {"min", MF4_DOWNSAMPLE_MIN},
                {"max", MF4_DOWNSAMPLE_MAX},
                {"mean", MF4_DOWNSAMPLE_MEAN}};
            const auto found = kCodes.find(text);
            if (found == kCodes.end()) return "not one of minmax, min, max, mean: " + text;
            text = std::to_string(found->second);
            return {};
        },
        "{minmax,min,max,mean}");
}

}  // namespace

CLI::Option* addBucketOptions(CLI::App& command, DumpOptions& options,
                              const RangeOptions& range) {
    auto* buckets =
        command
            .add_option("--buckets", options.buckets,
                        "Reduce buckets of N records, counted from --from")
            ->check(positiveCount());
    auto* bucketTime =
        command
            .add_option("--bucket-time", options.bucketTime,
                        "Reduce buckets of W master units, counted from --start (default: the "
                        "first record's time; --end defaults to the last record's)")
            ->check(finiteNumberOption(true));
    buckets->excludes(bucketTime);
    for (CLI::Option* byTime : {range.start, range.end, range.neighbours})
        buckets->excludes(byTime);
    for (CLI::Option* byIndex : {range.from, range.count}) bucketTime->excludes(byIndex);
    auto* method = command
                       .add_option("--method", options.method,
                                   "What a bucket gives (default minmax; needs --buckets or "
                                   "--bucket-time)")
                       ->type_name("TEXT")
                       ->transform(methodCode());
    command
        .add_option("--level-time", options.levelTime,
                    "Finest reduction level of the file that --bucket-time may read, in master "
                    "units (default: any up to W; 0: the raw records)")
        ->check(finiteNumberOption(false))
        ->needs(bucketTime);
    return method;
}

}  // namespace mf4tool
