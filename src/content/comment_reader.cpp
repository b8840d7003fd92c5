#include "content/comment_reader.h"

#include "content/host_memory.h"
#include "findings/detail_format.h"
#include "findings/findings.h"
#include "xml/comment_parse.h"

namespace tarvik {

std::unique_ptr<ZtCComment> CommentReader::parse(const TextRef& comment, const CommentSource& source) {
    if (comment.kind != BlockKind::MD || !comment.text) return nullptr;
    std::optional<std::u16string> error;
    std::unique_ptr<ZtCComment> parsed = parseCommentOfKind(xml_, source.kind, *comment.text, version_, &error);
    if (error)
        findings_.addFileWarning(129, formatDetail(129, {source.block, source.position, source.field,
                                                         std::u16string_view(*error)}));
    return parsed;
}

MF4Char* CommentReader::text(const TextRef& comment, const ZtCComment* parsed) {
    if (comment.kind == BlockKind::TX) return hostText(comment.text);
    return parsed != nullptr ? hostText(std::u16string_view(parsed->commentText)) : nullptr;
}

void hostProperties(const ZtCComment* comment, MF4Property*& properties, std::uint64_t& count) {
    properties = nullptr;
    count = 0;
    if (comment == nullptr || !comment->properties) return;
    const auto& list = comment->properties->properties;
    properties = hostArray<MF4Property>(list.size());
    count = list.size();
    for (std::size_t i = 0; i < list.size(); ++i) {
        properties[i].structSize = sizeof(MF4Property);
        properties[i].name = hostText(std::u16string_view(list[i]->name));
        properties[i].type = list[i]->type;
        properties[i].value = hostText(std::u16string_view(list[i]->value));
    }
}

MF4Char* takeProperty(ZtCComment* comment, std::u16string_view name) {
    if (comment == nullptr || !comment->properties) return nullptr;
    const ZtCE* property = comment->properties->find(name);
    if (property == nullptr) return nullptr;
    MF4Char* value = hostText(std::u16string_view(property->value));
    removeProperty(*comment, name);
    return value;
}

}  // namespace tarvik
