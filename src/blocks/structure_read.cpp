#include "blocks/structure_read.h"

#include <memory>

#include "blocks/block_layer.h"
#include "blocks/file_open.h"
#include "blocks/hd_block.h"
#include "blocks/id_block.h"
#include "blocks/read_context.h"
#include "findings/findings.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

// Names joined with ",", as the group-wide findings list them.
class NameList {
public:
    void add(const std::u16string& name) {
        if (!text_.empty()) text_ += u',';
        text_ += name;
    }
    void raise(ZtCReadContext& context, std::uint32_t number) const {
        if (!text_.empty()) context.structureFindings->addFileWarning(number, text_);
    }

private:
    std::u16string text_;
};

struct GroupWideLists {
    NameList virtualMasters;       // 110
    NameList unsupportedTypes;     // 125
    NameList nonTimeMasters;       // 115
};

void listChannels(const std::vector<CnRecord>& channels, const std::u16string& prefix, GroupWideLists& lists) {
    for (const CnRecord& channel : channels) {
        const std::u16string name = prefix + channel.name.value_or(u"");
        if (channel.cn_type != kCnMaster) {
            if (channel.cn_type == kCnVirtualMaster) lists.virtualMasters.add(name);
            if (channel.cn_data_type >= 11 && channel.cn_data_type <= 14) lists.unsupportedTypes.add(name);
        }
        listChannels(channel.children, name + u".", lists);
    }
}

// Checks over the channels of every group that has an acquisition name: virtual masters and
// unsupported data types (both already rejected channel by channel, so normally nothing), and
// masters that are not synchronised by time.
void checkGroupWideNames(ZtCReadContext& context, const HdRecord& header) {
    GroupWideLists lists;
    for (const DgRecord& dataGroup : header.dataGroups) {
        for (const CgRecord& group : dataGroup.groups) {
            if (!group.acquisitionName) continue;
            listChannels(group.channels, *group.acquisitionName + u".", lists);
            const CnRecord* master = group.masterChannel();
            if (master != nullptr && master->cn_sync_type >= 2 && master->cn_sync_type <= 4)
                lists.nonTimeMasters.add(master->name.value_or(u""));
        }
    }
    lists.virtualMasters.raise(context, 110);
    lists.unsupportedTypes.raise(context, 125);
    lists.nonTimeMasters.raise(context, 115);
}

}  // namespace

int readStructure(ZtCBlockLayerCore& layer, FindingList& findings, std::uint64_t options) {
    ZtCReadContext context(layer.GetFilePath(), findings, options);
    if (openForReading(context.stream, context.path, findings) != kOk) return kFailed;

    auto id = std::make_unique<IdRecord>();
    int status = readIdBlock(context, *id);
    layer.setIdRecord(std::move(id));
    if (status == kOk) {
        auto header = std::make_unique<HdRecord>();
        status = readHeaderBlock(context, *header);
        if (status == kOk) checkGroupWideNames(context, *header);
        layer.setHdRecord(std::move(header));
    }
    context.stream.close();
    return status;
}

}  // namespace tarvik
