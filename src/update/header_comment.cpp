#include "update/header_comment.h"

#include <string_view>

#include "platform/text.h"
#include "xml/comment.h"
#include "xml/comment_document.h"

namespace tarvik {

namespace {

}  // namespace

std::optional<std::u16string> composeHeaderComment(const std::optional<std::u16string>& current, const MF4Char* text,
                                                   const MF4Char* keptText, const MF4Property* properties,
                                                   std::uint64_t count) {
    std::optional<CommentDocument> comment = CommentDocument::load(current, u"HDcomment");
    if (!comment) return std::nullopt;
    using Placement = CommentDocument::Placement;
    // TX opens every comment and the common properties close it.
    CommentDocument::Element root = comment->root();
    CommentDocument::Element tx = comment->child(root, u"TX", Placement::First);
    CommentDocument::Element common = comment->child(root, u"common_properties", Placement::Last);
    if (tx == nullptr || common == nullptr) return std::nullopt;
    const MF4Char* newText = text != nullptr ? text : keptText;
    if (newText != nullptr && !comment->setText(tx, platform::textView(newText))) return std::nullopt;
    for (std::uint64_t i = 0; properties != nullptr && i < count; ++i) {
        const MF4Property& property = properties[i];
        CommentDocument::Element element = comment->property(common, platform::textView(property.name));
        if (element == nullptr || !comment->setAttribute(element, u"type", propertyTypeText(property.type)) ||
            !comment->setText(element, platform::textView(property.value)))
            return std::nullopt;
    }
    return comment->text();
}

}  // namespace tarvik
