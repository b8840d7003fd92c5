// The two process-wide lists in which open files are found again: reading layers by the
// address of their content tree, writing layers by their path.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "api/app_layer.h"

namespace tarvik {

// Each registry has its own lock, held only while the registry is searched or changed; the
// file work of a call runs outside both, and no lock is taken while the other is held.
class LayerRegistry {
public:
    static LayerRegistry& instance();

    // Reading layers, in order of creation.
    ZtCAppLayerCore& addReadLayer(const std::u16string& path);
    // Hands a reading layer its tree. Other threads search the list by tree while this happens,
    // so the tree is set under the list's lock.
    void attachContent(ZtCAppLayerCore& layer, MF4Content* content);
    // The last registered layer holding `content`, or null.
    ZtCAppLayerCore* findReadLayer(const MF4Content* content);
    // Closes, destroys and unlists `layer`.
    void removeReadLayer(ZtCAppLayerCore* layer);
    // Closes, destroys and unlists the first layer holding `content`. False when none does.
    bool removeReadLayer(const MF4Content* content);

    // Writing layers, keyed by path (UTF-16 code units, case-sensitive). The layer holds
    // `content` from the start, so a lookup on another thread never sees it without. Null when
    // the path is already open for writing.
    ZtCAppLayerCore* addWriteLayer(const std::u16string& path, MF4Content* content);
    // The layer registered under content->filePath when it holds this very tree, or null.
    ZtCAppLayerCore* findWriteLayer(const MF4Content* content);
    // Closes, destroys and unlists the layer registered under content->filePath when it holds
    // this tree.
    void removeWriteLayer(const MF4Content* content);

    // Closes and destroys every layer, reading layers first.
    ~LayerRegistry();

private:
    LayerRegistry() = default;

    std::mutex readLock_;
    std::list<std::unique_ptr<ZtCAppLayerCore>> readLayers_;
    std::mutex writeLock_;
    std::map<std::u16string, std::unique_ptr<ZtCAppLayerCore>> writeLayers_;
};

}  // namespace tarvik
