// What the block tests share: a built file opened in a read context for one block reader, or
// read as a whole structure, and the findings rendered as "number detail" lines for exact
// comparisons.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "blocks/block_layer.h"
#include "blocks/read_context.h"
#include "blocks/structure_read.h"
#include "findings/findings.h"
#include "platform/file.h"
#include "support/mdf_blocks.h"
#include "support/mdf_builder.h"
#include "support/temp_dir.h"

namespace tarvik::test {

using Lines = std::vector<std::string>;

// Upper-case hexadecimal, as the detail texts print positions and links.
inline std::string hex(std::int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

// The positions of records read, in their order.
template <typename Record>
std::vector<std::int64_t> positionsOf(const std::vector<Record>& records) {
    std::vector<std::int64_t> positions;
    for (const Record& record : records) positions.push_back(record.position);
    return positions;
}

inline Lines render(const std::vector<Finding>& list) {
    Lines lines;
    for (const Finding& finding : list) {
        std::string line = std::to_string(finding.number);
        if (finding.detail2) {
            line += ' ';
            for (char16_t c : *finding.detail2) line += c < 0x80 ? static_cast<char>(c) : '?';
        }
        lines.push_back(line);
    }
    return lines;
}

// The built file in a fresh read context of the given format version, with fresh findings.
class BlockFile : public ::testing::Test {
protected:
    ZtCReadContext& open(std::string_view bytes, std::uint16_t version = 410) {
        findings_ = FindingList(u"blocks.mf4");
        context_ = std::make_unique<ZtCReadContext>(widePath(dir_.write("blocks.mf4", bytes)),
                                                    findings_, 0);
        context_->version = version;
        EXPECT_EQ(context_->stream.openRead(context_->path), platform::kOk);
        return *context_;
    }
    ZtCReadContext& open(const MdfBuilder& file) { return open(file.bytes()); }
    Lines errors() const { return render(findings_.errors()); }
    Lines warnings() const { return render(findings_.warnings()); }

    TempDir dir_;
    FindingList findings_;
    std::unique_ptr<ZtCReadContext> context_;
};

// The built file read as a whole structure, with the findings of the read.
class StructureWalk : public BlockFile {
protected:
    int read(const MdfBuilder& file, std::uint64_t options = 0) { return read(file.bytes(), options); }
    int read(std::string_view bytes, std::uint64_t options = 0) {
        return readPath(dir_.write("walk.mf4", bytes), options);
    }
    int readPath(const std::filesystem::path& path, std::uint64_t options = 0) {
        layer_ = std::make_unique<ZtCBlockLayerCore>();
        layer_->SetFilePath(widePath(path));
        findings_ = FindingList(widePath(path));
        return readStructure(*layer_, findings_, options);
    }

    // The header tree of the last read; the read must have got as far as the HD block.
    const HdRecord& hd() const {
        static const HdRecord kNone;
        const HdRecord* record = layer_ ? layer_->hdRecord() : nullptr;
        EXPECT_NE(record, nullptr);
        return record ? *record : kNone;
    }
    // The one channel group of the first data group kept.
    const CgRecord& group() const { return hd().dataGroups.at(0).groups.at(0); }

    // A file and what reading it must give; a read that succeeds keeps `dataGroups`.
    struct Variant {
        const char* what;
        MdfBuilder file;
        int status;
        Lines errors = {};
        Lines warnings = {};
        std::size_t dataGroups = 1;
    };
    void expectReads(const std::vector<Variant>& variants) {
        for (const Variant& v : variants) {
            SCOPED_TRACE(v.what);
            EXPECT_EQ(read(v.file), v.status);
            EXPECT_EQ(errors(), v.errors);
            EXPECT_EQ(warnings(), v.warnings);
            if (v.status == platform::kOk) {
                EXPECT_EQ(hd().dataGroups.size(), v.dataGroups);
            }
        }
    }

    std::unique_ptr<ZtCBlockLayerCore> layer_;
};

}  // namespace tarvik::test
