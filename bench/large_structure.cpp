#include "large_structure.h"

#include <cstdint>
#include <vector>

#include "support/mdf_blocks.h"
#include "support/mdf_builder.h"

namespace tarvik::bench {

using namespace tarvik::test;

namespace {

constexpr std::size_t kTableEntries = 5;

struct Builder {
    MdfBuilder file;
    LargeStructureCounts& counts;

    std::int64_t text(const std::string& value) {
        ++counts.texts;
        return file.addText("##TX", value);
    }

    // Every fifth conversion is a value-to-text table of five texts and a default; the others
    // are linear with a unit of their own, as a calibration tool writes them.
    std::int64_t conversion(std::size_t index) {
        ++counts.conversions;
        const std::string name = "conversion " + std::to_string(index);
        if (index % 5 == 4) {
            std::vector<std::int64_t> links{text(name), 0, 0, 0};
            CcFields fields{.type = 7, .refCount = kTableEntries + 1};
            for (std::size_t e = 0; e < kTableEntries; ++e) {
                links.push_back(text("state " + std::to_string(e) + " of " + name));
                fields.values.push_back(static_cast<double>(e));
            }
            links.push_back(text("unknown"));
            return addBlock(file, "##CC", links, ccData(fields));
        }
        const std::int64_t unit = text(index % 2 == 0 ? "rpm" : "km/h");
        return addBlock(file, "##CC", {text(name), unit, 0, 0},
                        ccData({.type = 1, .values = {-40.0, 0.1}}));
    }
};

}  // namespace

std::string largeStructureFile(const LargeStructureShape& shape, LargeStructureCounts& counts) {
    counts = {};
    Builder b{MdfBuilder("4.10    "), counts};
    MdfBuilder& file = b.file;
    const std::int64_t hd = file.addBlock("##HD", {0, 0, 0, 0, 0, 0}, hdData({}));
    const std::int64_t history = file.addText(
        "##MD",
        "<FHcomment xmlns=\"http://www.asam.net/mdf/v4\"><TX>created</TX><tool_id>bench</tool_id>"
        "<tool_vendor>tarvik</tool_vendor><tool_version>1.0</tool_version></FHcomment>");
    setLink(file, hd, 1, file.addBlock("##FH", {0, history}, fhData({})));

    std::size_t conversionsLeft = shape.conversions;
    std::size_t channelIndex = 0;
    std::int64_t previousGroup = 0;
    for (std::size_t g = 0; g < shape.groups; ++g) {
        ++counts.groups;
        const std::size_t channels =
            shape.channels / shape.groups + (g < shape.channels % shape.groups ? 1 : 0);
        const std::int64_t dg = file.addBlock("##DG", {0, 0, 0, 0}, dgData(0));
        if (g == 0) setLink(file, hd, 0, dg);
        else setLink(file, previousGroup, 0, dg);
        previousGroup = dg;
        const std::string group = "group " + std::to_string(g);
        const std::int64_t source = addBlock(file, "##SI", {b.text("ECU " + group), b.text("XCP/" + group), 0},
                                             siData(1, 0));
        const auto recordBytes = static_cast<std::uint32_t>(8 + 2 * (channels - 1));
        const std::int64_t cg = addBlock(file, "##CG", {0, 0, b.text(group), source, 0, 0},
                                         cgData({.cycleCount = shape.records, .dataBytes = recordBytes}));
        setLink(file, dg, 1, cg);
        std::int64_t previousChannel = 0;
        for (std::size_t c = 0; c < channels; ++c, ++channelIndex) {
            ++counts.channels;
            const bool master = c == 0;
            const std::string name = master ? "time" : "signal " + std::to_string(channelIndex);
            const std::int64_t conversion =
                !master && conversionsLeft > 0 ? (--conversionsLeft, b.conversion(channelIndex)) : 0;
            const CnFields fields =
                master ? CnFields{.type = 2, .syncType = 1, .dataType = 4, .bitCount = 64}
                       : CnFields{.dataType = 0, .byteOffset = static_cast<std::uint32_t>(8 + 2 * (c - 1)),
                                  .bitCount = 16};
            const std::int64_t cn =
                addBlock(file, "##CN",
                         {0, 0, b.text(name), 0, conversion, 0, b.text(master ? "s" : "-"),
                          b.text("comment on " + name)},
                         cnData(fields));
            if (c == 0) setLink(file, cg, 1, cn);
            else setLink(file, previousChannel, 0, cn);
            previousChannel = cn;
        }
        std::string records;
        for (std::size_t r = 0; r < shape.records; ++r) {
            records += f64(0.01 * static_cast<double>(r));
            for (std::size_t c = 1; c < channels; ++c) records += u16(static_cast<std::uint16_t>(r + c));
        }
        setLink(file, dg, 2, file.addBlock("##DT", {}, records));
    }
    return file.bytes();
}

}  // namespace tarvik::bench
