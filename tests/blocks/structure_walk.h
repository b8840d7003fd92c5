// What the structure read tests share: reading a file's block graph from bytes or from a path,
// and the findings of the read rendered as "number detail" lines for exact comparisons.
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
#include "blocks/structure_read.h"
#include "findings/findings.h"
#include "platform/file.h"
#include "support/mdf_builder.h"
#include "support/temp_dir.h"

namespace tarvik::test {

// Upper-case hexadecimal, as the detail texts print positions and links.
inline std::string hex(std::int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

class StructureWalk : public ::testing::Test {
protected:
    int read(const MdfBuilder& file, std::uint64_t options = 0) {
        return read(file.bytes(), options);
    }
    int read(std::string_view bytes, std::uint64_t options = 0) {
        return readPath(dir_.write("walk.mf4", bytes), options);
    }
    int readPath(const std::filesystem::path& path, std::uint64_t options = 0) {
        layer_ = std::make_unique<ZtCBlockLayerCore>();
        layer_->SetFilePath(widePath(path));
        findings_ = std::make_unique<FindingList>(widePath(path));
        return readStructure(*layer_, *findings_, options);
    }

    // The header tree of the last read; the read must have got as far as the HD block.
    const HdRecord& hd() const {
        static const HdRecord kNone;
        const HdRecord* record = layer_ ? layer_->hdRecord() : nullptr;
        EXPECT_NE(record, nullptr);
        return record ? *record : kNone;
    }
    const FindingList& findings() const { return *findings_; }
    std::vector<std::string> errors() const { return render(findings_->errors()); }
    std::vector<std::string> warnings() const { return render(findings_->warnings()); }

    static std::vector<std::string> render(const std::vector<Finding>& list) {
        std::vector<std::string> lines;
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

    TempDir dir_;
    std::unique_ptr<ZtCBlockLayerCore> layer_;
    std::unique_ptr<FindingList> findings_;
};

using Lines = std::vector<std::string>;

}  // namespace tarvik::test
