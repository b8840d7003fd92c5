// The comment classes of the eight block kinds that carry XML comments the library reads.
#pragma once

#include <cstdint>
#include <string>

#include "xml/comment.h"

namespace tarvik {

class ZtCHDComment final : public ZtCComment {
public:
    std::u16string_view rootElement() const override { return u"HDcomment"; }
    std::string_view schemaFile() const override { return "hd_comment.xsd"; }
};

class ZtCFHComment final : public ZtCComment {
public:
    std::u16string_view rootElement() const override { return u"FHcomment"; }
    std::string_view schemaFile() const override { return "fh_comment.xsd"; }
    void text(std::u16string_view element, std::u16string_view text) override;
    void writeXml(ZtCXMLWriter& writer) const override;

    char toolId[8] = {};  // single-byte characters (Latin-1), not terminated when all 8 are used
    std::u16string toolVendor;
    std::u16string toolVersion;

private:
    std::size_t toolIdLength_ = 0;
};

class ZtCEVComment final : public ZtCComment {
public:
    explicit ZtCEVComment(std::uint16_t formatVersion = 410) : formatVersion(formatVersion) {}
    std::u16string_view rootElement() const override { return u"EVcomment"; }
    std::string_view schemaFile() const override { return "ev_comment.xsd"; }
    ZtIXMLElement* endElement(std::u16string_view element) override;
    void attribute(std::u16string_view element, std::u16string_view name,
                   std::u16string_view value) override;
    void text(std::u16string_view element, std::u16string_view text) override;
    void writeXml(ZtCXMLWriter& writer) const override;

    std::uint8_t eventType = 0;  // ev_type of the block; decides what is written
    std::int64_t typeProperty = 0;
    std::int32_t colorProperty = 0;
    double systemTime = 0;
    double preTrigger = 0;
    double postTrigger = 0;
    std::u16string formulaSyntax;
    double timeout = 0;
    bool triggered = false;
    std::uint16_t formatVersion;
};

class ZtCCGComment final : public ZtCComment {
public:
    std::u16string_view rootElement() const override { return u"CGcomment"; }
    std::string_view schemaFile() const override { return "cg_comment.xsd"; }
};

class ZtCCNComment final : public ZtCComment {
public:
    std::u16string_view rootElement() const override { return u"CNcomment"; }
    std::string_view schemaFile() const override { return "cn_comment.xsd"; }
    void text(std::u16string_view element, std::u16string_view text) override;
    void writeXml(ZtCXMLWriter& writer) const override;

    std::u16string displayName;
    double raster = 0;
};

class ZtCCCComment final : public ZtCComment {
public:
    std::u16string_view rootElement() const override { return u"CCcomment"; }
    std::string_view schemaFile() const override { return "cc_comment.xsd"; }
};

class ZtCATComment final : public ZtCComment {
public:
    std::u16string_view rootElement() const override { return u"ATcomment"; }
    std::string_view schemaFile() const override { return "at_comment.xsd"; }
};

class ZtCSIComment final : public ZtCComment {
public:
    std::u16string_view rootElement() const override { return u"SIcomment"; }
    std::string_view schemaFile() const override { return "si_comment.xsd"; }
    ZtIXMLElement* endElement(std::u16string_view element) override;
    void writeXml(ZtCXMLWriter& writer) const override;

    std::u16string channelNumber;  // the values of every "ChannelNo" property, joined
};

}  // namespace tarvik
