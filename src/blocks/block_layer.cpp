#include "blocks/block_layer.h"

namespace tarvik {

void ZtCBlockLayerCore::Close() {
    if (hd_) ZtCHDBlock(*hd_).release();
    hd_.reset();
    if (id_) ZtCIDBlock(*id_).release();
    id_.reset();
    decodedBlocks_.clear();
    masterBounds_.clear();
    ZtCLayerCore::Close();
}

}  // namespace tarvik
