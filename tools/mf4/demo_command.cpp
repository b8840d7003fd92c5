#include "demo_command.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iostream>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "exit_codes.h"
#include "file_writing.h"
#include "host_text.h"
#include "number_text.h"
#include "one_line.h"
#include "table_printer.h"
#include "time_text.h"
#include "tool_identity.h"
#include "type_names.h"

namespace mf4tool {

namespace {

// The drive starts at 2025-06-02T08:30:00Z, a fixed time so that two runs give the same file
// apart from its history entry.
constexpr std::uint64_t kStartNs = 1'748'853'000'000'000'000;
// Seconds recorded; the logger hands over one batch per second.
constexpr int kSeconds = 10;
constexpr std::size_t kPressureCylinders = 4;

enum DemoGroup : std::uint64_t { kEngine, kVehicle, kGroupCount };
constexpr std::array<int, kGroupCount> kRatesHz = {100, 10};

enum DemoChannel : std::uint64_t {
    kEngineSpeed, kCoolant, kGear, kPressure, kInjections,  // Engine
    kVehicleSpeed, kSteering, kBattery, kDriveState,         // Vehicle
    kChannelCount
};

enum DemoConversion : std::int64_t { kCoolantScale, kTenths, kGearNames };

constexpr std::array<const char*, 7> kGearTexts = {"neutral", "1st", "2nd", "3rd",
                                                   "4th",     "5th", "reverse"};

// The tree and everything it points to, which must stay put until the file is finished.
struct DemoTree {
    TextStore texts;
    std::vector<MF4ChannelGroup> groups;
    std::vector<MF4Channel> channels;
    std::vector<MF4Conversion> conversions;
    std::vector<MF4ValueText> gearTexts;
    std::vector<MF4Property> properties;
    std::vector<MF4Attachment> attachments;
    std::string notes;
    MF4Content content{};
};

MF4ChannelGroup group(TextStore& texts, const char* name, const char* source,
                      std::uint32_t sourceType, const char* comment, int rateHz) {
    MF4ChannelGroup g{};
    g.structSize = sizeof g;
    g.acquisitionName = texts.add(name);
    g.sourceName = texts.add(source);
    g.sourceType = sourceType;
    g.comment = texts.add(comment);
    g.masterValueType = 5;
    g.masterRaster = 1.0 / rateHz;
    g.masterConversion = -1;
    return g;
}

MF4Channel channel(TextStore& texts, DemoGroup group, const char* name, std::uint32_t valueType,
                   std::uint32_t bitCount, const char* unit, std::int64_t conversion = -1) {
    MF4Channel c{};
    c.structSize = sizeof c;
    c.name = texts.add(name);
    c.unit = texts.add(unit);
    c.valueType = valueType;
    c.bitCount = bitCount;
    c.groupIndex = group;
    c.conversion = conversion;
    c.syncAttachment = -1;
    c.lengthChannel = -1;
    c.outputChannel = -1;
    c.comparisonChannel = -1;
    return c;
}

MF4Conversion conversion(TextStore& texts, std::uint32_t type, const char* name) {
    MF4Conversion c{};
    c.structSize = sizeof c;
    c.conversionType = type;
    c.name = texts.add(name);
    c.defaultConversion = -1;
    return c;
}

MF4Property property(TextStore& texts, const char* name, std::uint32_t type, const char* value) {
    return {sizeof(MF4Property), texts.add(name), type, texts.add(value)};
}

void buildTree(DemoTree& tree) {
    TextStore& t = tree.texts;
    tree.groups = {group(t, "Engine", "engine ECU", 1, "engine signals at 100 Hz", kRatesHz[0]),
                   group(t, "Vehicle", "vehicle CAN", 2, "vehicle signals at 10 Hz",
                         kRatesHz[1])};
    tree.groups[kVehicle].busType = 2;  // CAN

    MF4Conversion coolant = conversion(t, 1, "coolant sensor");
    coolant.parameters.linear[0] = -40;  // the sensor sends degrees plus 40
    coolant.parameters.linear[1] = 1;
    MF4Conversion tenths = conversion(t, 1, "tenths");
    tenths.parameters.linear[1] = 0.1;
    for (std::size_t i = 0; i < kGearTexts.size(); ++i)
        tree.gearTexts.push_back({sizeof(MF4ValueText), static_cast<double>(i),
                                  t.add(kGearTexts[i])});
    MF4Conversion gears = conversion(t, 7, "gear names");
    gears.entryCount = tree.gearTexts.size();
    gears.parameters.valueTexts = tree.gearTexts.data();
    gears.defaultText = t.add("invalid");
    tree.conversions = {coolant, tenths, gears};

    tree.channels = {
        channel(t, kEngine, "engine_speed", 4, 32, "rpm"),
        channel(t, kEngine, "coolant_temp", 17, 8, "\u00B0C", kCoolantScale),
        channel(t, kEngine, "gear", 17, 3, "", kGearNames),
        channel(t, kEngine, "cylinder_pressure", 4, 32, "bar"),
        channel(t, kEngine, "injections", 19, 32, ""),
        channel(t, kVehicle, "vehicle_speed", 5, 64, "km/h"),
        channel(t, kVehicle, "steering_angle", 2, 16, "deg", kTenths),
        channel(t, kVehicle, "battery_voltage", 18, 16, "V", kTenths),
        channel(t, kVehicle, "drive_state", 30, 64, ""),
    };
    MF4Channel& pressure = tree.channels[kPressure];
    pressure.dimensionCount = 1;
    pressure.dimensionSizes[0] = kPressureCylinders;
    pressure.comment = t.add("one value per cylinder");
    tree.channels[kInjections].comment = t.add("injections since the start");

    tree.properties = {property(t, "vehicle", 31, "TV-1 prototype"),
                       property(t, "driver", 31, "A. Tester"),
                       property(t, "odometer", 5, "12345.6")};

    tree.notes = "Test drive on the test track, dry road, 21 degrees.\n"
                 "Overtaking at 4.2 s, hard braking at 7.5 s.\n";
    MF4Attachment notes{};
    notes.structSize = sizeof notes;
    notes.fileName = t.add("drive_notes.txt");
    notes.mimeType = t.add("text/plain");
    notes.comment = t.add("notes of the test driver");
    notes.embedded = 1;
    notes.md5Valid = 1;
    notes.size = tree.notes.size();
    notes.data = reinterpret_cast<std::uint8_t*>(tree.notes.data());
    tree.attachments = {notes};

    MF4Content& c = tree.content;
    c.groups = tree.groups.data();
    c.groupCount = tree.groups.size();
    c.channels = tree.channels.data();
    c.channelCount = tree.channels.size();
    c.conversions = tree.conversions.data();
    c.conversionCount = tree.conversions.size();
    c.headerProperties = tree.properties.data();
    c.headerPropertyCount = tree.properties.size();
    c.attachments = tree.attachments.data();
    c.attachmentCount = tree.attachments.size();
    std::memcpy(c.programId, "mf4demo ", sizeof c.programId);
    c.formatVersion = 410;
    c.timeKind = 2;
    c.startTimeNs = kStartNs;
    c.toolVendor = t.add(kToolVendor);
    c.toolVersion = t.add(kToolVersion);
    c.headerComment = t.add("Demonstration drive written by mf4 demo");
}

// The made-up drive: speeds up to 100 km/h, cruises, overtakes, brakes hard at 7.5 s.
double vehicleSpeed(double t) {
    if (t < 6) return 100 * t / 6;
    if (t < 7.5) return 100;
    if (t < 9) return 100 - 40 * (t - 7.5) / 1.5;
    return 60;
}

std::uint8_t gearAt(double speed) {
    return speed < 1 ? 0 : static_cast<std::uint8_t>(std::min(5.0, 1 + speed / 22));
}

const char* driveState(double t) {
    if (t == 0) return "standing";
    if (t < 6) return "accelerating";
    if (t >= 7.5 && t < 9) return "braking";
    return "cruising";
}

// One second of records of both groups, in buffers that every batch reuses.
struct Batch {
    std::array<std::vector<double>, kGroupCount> times;
    std::vector<float> engineSpeed;
    std::vector<std::uint8_t> coolant;
    std::vector<std::uint8_t> gear;
    std::vector<float> pressure;
    std::vector<std::uint32_t> injections;
    std::vector<double> speed;
    std::vector<std::int16_t> steering;
    std::vector<std::uint16_t> battery;
    std::vector<const char*> state;
    double injected = 0;
};

void fillEngine(Batch& b, int second) {
    const int n = kRatesHz[kEngine];
    b.times[kEngine].resize(n);
    b.engineSpeed.resize(n);
    b.coolant.resize(n);
    b.gear.resize(n);
    b.pressure.resize(n * kPressureCylinders);
    b.injections.resize(n);
    for (int i = 0; i < n; ++i) {
        const double t = (second * n + i) / static_cast<double>(n);
        const double v = vehicleSpeed(t);
        const std::uint8_t gear = gearAt(v);
        const double rpm = gear == 0 ? 800 : 1200 + 60 * (v - 22 * (gear - 1));
        b.times[kEngine][i] = t;
        b.engineSpeed[i] = static_cast<float>(rpm + 20 * std::sin(6 * std::numbers::pi * t));
        b.coolant[i] = static_cast<std::uint8_t>(std::lround(75 + 1.3 * t + 40));
        b.gear[i] = gear;
        for (std::size_t k = 0; k < kPressureCylinders; ++k)
            b.pressure[i * kPressureCylinders + k] = static_cast<float>(
                20 + 15 * std::sin(rpm / 60 * 2 * std::numbers::pi * t + k * std::numbers::pi / 2));
        // A four-cylinder four-stroke engine injects twice per revolution.
        b.injected += rpm / 60 / n * 2;
        b.injections[i] = static_cast<std::uint32_t>(b.injected);
    }
}

void fillVehicle(Batch& b, int second) {
    const int n = kRatesHz[kVehicle];
    b.times[kVehicle].resize(n);
    b.speed.resize(n);
    b.steering.resize(n);
    b.battery.resize(n);
    b.state.resize(n);
    for (int i = 0; i < n; ++i) {
        const double t = (second * n + i) / static_cast<double>(n);
        b.times[kVehicle][i] = t;
        b.speed[i] = vehicleSpeed(t);
        // Raw values in tenths, as the conversion "tenths" reads them.
        b.steering[i] =
            static_cast<std::int16_t>(std::lround(150 * std::sin(0.4 * std::numbers::pi * t)));
        b.battery[i] =
            static_cast<std::uint16_t>(std::lround(138 + 3 * std::cos(std::numbers::pi * t)));
        b.state[i] = driveState(t);
    }
}

template <typename T>
MF4WriteChannel item(DemoChannel channel, std::uint32_t valueType, std::vector<T>& values,
                     std::size_t records) {
    MF4WriteChannel c{};
    c.structSize = sizeof c;
    c.channel = channel;
    c.valueType = valueType;
    c.valueCount = records;
    c.values = values.data();
    return c;
}

// The events of the drive, each handed over with the batch of the second it happened in, as
// a logger learns of them.
std::vector<MF4Event> eventsOf(TextStore& texts, int second) {
    if (second == 4)
        return {pointEvent(texts, 6, 4, 4.2, "overtake", "driver pressed the marker button")};
    if (second == 7)
        return {pointEvent(texts, 5, 2, 7.5, "hard braking", "deceleration above 7 m/s\u00B2")};
    return {};
}

// Writes the drive one second per batch, counting the records of each group and collecting
// the events written; false when a batch could not be written.
bool writeDrive(DemoTree& tree, FileWriting& writing,
                std::array<std::uint64_t, kGroupCount>& records, std::vector<MF4Event>& written) {
    Batch b;
    for (int second = 0; second < kSeconds; ++second) {
        fillEngine(b, second);
        fillVehicle(b, second);
        const std::size_t fast = b.times[kEngine].size();
        const std::size_t slow = b.times[kVehicle].size();
        std::array<MF4WriteGroup, kGroupCount> groups{};
        for (std::uint64_t g = 0; g < kGroupCount; ++g) {
            groups[g].structSize = sizeof(MF4WriteGroup);
            groups[g].group = g;
            groups[g].valueType = 5;
            groups[g].valueCount = b.times[g].size();
            groups[g].values = b.times[g].data();
        }
        std::array<MF4WriteChannel, kChannelCount> channels = {
            item(kEngineSpeed, 4, b.engineSpeed, fast), item(kCoolant, 17, b.coolant, fast),
            item(kGear, 17, b.gear, fast),               item(kPressure, 4, b.pressure, fast),
            item(kInjections, 19, b.injections, fast),   item(kVehicleSpeed, 5, b.speed, slow),
            item(kSteering, 2, b.steering, slow),        item(kBattery, 18, b.battery, slow),
            item(kDriveState, 30, b.state, slow)};
        std::vector<MF4Event> events = eventsOf(tree.texts, second);
        MF4WriteRequest request{};
        request.structSize = sizeof request;
        request.groupCount = groups.size();
        request.groups = groups.data();
        request.channelCount = channels.size();
        request.channels = channels.data();
        request.eventCount = events.size();
        request.events = events.data();
        if (!writing.write(request)) return false;
        records[kEngine] += fast;
        records[kVehicle] += slow;
        written.insert(written.end(), events.begin(), events.end());
    }
    return true;
}

std::string text(const MF4Char* value) { return flattened(toTerminalText(value)); }

void printSummary(const DemoTree& tree, const std::array<std::uint64_t, kGroupCount>& records,
                  const std::vector<MF4Event>& events, const std::string& out) {
    const MF4Content& c = tree.content;
    std::cout << "Header: \"" << text(c.headerComment) << "\", start "
              << timeStampText(c.startTimeNs, c.timeKind, 0, 0) << '\n';
    for (const MF4Property& p : tree.properties)
        std::cout << "  " << text(p.name) << " = " << text(p.value) << " ("
                  << propertyTypeName(p.type) << ")\n";
    for (std::uint64_t g = 0; g < kGroupCount; ++g) {
        std::cout << "Group " << text(tree.groups[g].acquisitionName) << ": " << kRatesHz[g]
                  << " Hz, " << records[g] << " records\n";
        TablePrinter table(std::cout);
        for (const MF4Channel& ch : tree.channels) {
            if (ch.groupIndex != g) continue;
            std::string kind = ch.valueType == 30 ? "text of variable length"
                                                  : valueTypeName(ch.valueType);
            if (ch.bitCount % 8 != 0) kind += ", " + std::to_string(ch.bitCount) + "-bit field";
            if (ch.dimensionCount != 0)
                kind += ", array of " + std::to_string(ch.dimensionSizes[0]);
            if (ch.conversion >= 0) {
                const MF4Conversion& conv =
                    tree.conversions[static_cast<std::size_t>(ch.conversion)];
                kind += ", " + conversionTypeName(conv.conversionType) + " \"" +
                        text(conv.name) + '"';
            }
            const std::string unit = text(ch.unit);
            table.addRow({"  " + text(ch.name), unit.empty() ? "-" : unit, kind});
        }
        table.flush();
    }
    std::cout << "Events\n";
    for (const MF4Event& e : events)
        std::cout << "  " << eventTypeName(e.eventType) << " \"" << text(e.name) << "\" at "
                  << shortestText(e.syncValue) << " s\n";
    for (const MF4Attachment& a : tree.attachments)
        std::cout << "Attachment " << text(a.fileName) << " (" << text(a.mimeType) << ", "
                  << a.size << " bytes, embedded)\n";
    std::cout << "wrote " << flattened(out) << '\n';
}

int writeDemo(const std::string& out) {
    DemoTree tree;
    buildTree(tree);
    FileWriting writing(tree.content, out, "mf4 demo");
    std::array<std::uint64_t, kGroupCount> records{};
    std::vector<MF4Event> events;
    if (!writing.create() || !writeDrive(tree, writing, records, events) || !writing.finish())
        return kExitErrors;
    printSummary(tree, records, events, out);
    return writing.clean() ? kExitClean : kExitErrors;
}

}  // namespace

void addDemoCommand(CLI::App& app, int& exitCode) {
    auto out = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand(
        "demo", "Write a demonstration measurement to OUT with the library and describe it");
    command->add_option("OUT", *out, "MDF 4 file to write (replaced when it exists)")->required();
    command->callback([out, &exitCode] { exitCode = writeDemo(*out); });
}

}  // namespace mf4tool
