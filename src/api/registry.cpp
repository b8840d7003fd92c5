#include "api/registry.h"

#include <algorithm>

#include "platform/text.h"

namespace tarvik {

LayerRegistry& LayerRegistry::instance() {
    // Constructed on first use and destroyed when the library is unloaded, which closes every
    // file a host left open.
    static LayerRegistry registry;
    return registry;
}

LayerRegistry::~LayerRegistry() {
    for (auto& layer : readLayers_) layer->Close();
    readLayers_.clear();
    for (auto& [path, layer] : writeLayers_) layer->Close();
    writeLayers_.clear();
}

ZtCAppLayerCore& LayerRegistry::addReadLayer(const std::u16string& path) {
    auto layer = std::make_unique<ZtCAppLayerCore>(path);
    std::lock_guard lock(readLock_);
    readLayers_.push_back(std::move(layer));
    return *readLayers_.back();
}

void LayerRegistry::attachContent(ZtCAppLayerCore& layer, MF4Content* content) {
    std::lock_guard lock(readLock_);
    layer.setContent(content);
}

ZtCAppLayerCore* LayerRegistry::findReadLayer(const MF4Content* content) {
    if (content == nullptr) return nullptr;
    std::lock_guard lock(readLock_);
    auto found = std::find_if(readLayers_.rbegin(), readLayers_.rend(),
                              [content](const auto& layer) { return layer->content() == content; });
    return found == readLayers_.rend() ? nullptr : found->get();
}

void LayerRegistry::removeReadLayer(ZtCAppLayerCore* layer) {
    std::unique_ptr<ZtCAppLayerCore> removed;
    {
        std::lock_guard lock(readLock_);
        auto found = std::find_if(readLayers_.begin(), readLayers_.end(),
                                  [layer](const auto& candidate) { return candidate.get() == layer; });
        if (found == readLayers_.end()) return;
        removed = std::move(*found);
        readLayers_.erase(found);
    }
    removed->Close();
}

bool LayerRegistry::removeReadLayer(const MF4Content* content) {
    std::unique_ptr<ZtCAppLayerCore> removed;
    {
        std::lock_guard lock(readLock_);
        auto found = std::find_if(readLayers_.begin(), readLayers_.end(),
                                  [content](const auto& layer) { return layer->content() == content; });
        if (found == readLayers_.end()) return false;
        removed = std::move(*found);
        readLayers_.erase(found);
    }
    removed->Close();
    return true;
}

ZtCAppLayerCore* LayerRegistry::addWriteLayer(const std::u16string& path, MF4Content* content) {
    std::lock_guard lock(writeLock_);
    auto [entry, inserted] = writeLayers_.try_emplace(path, nullptr);
    if (!inserted) return nullptr;
    entry->second = std::make_unique<ZtCAppLayerCore>(path);
    entry->second->setContent(content);
    return entry->second.get();
}

ZtCAppLayerCore* LayerRegistry::findWriteLayer(const MF4Content* content) {
    if (content == nullptr || content->filePath == nullptr) return nullptr;
    const std::u16string path(content->filePath, platform::textLength(content->filePath));
    std::lock_guard lock(writeLock_);
    auto found = writeLayers_.find(path);
    if (found == writeLayers_.end() || found->second->content() != content) return nullptr;
    return found->second.get();
}

void LayerRegistry::removeWriteLayer(const MF4Content* content) {
    if (content == nullptr || content->filePath == nullptr) return;
    const std::u16string path(content->filePath, platform::textLength(content->filePath));
    std::unique_ptr<ZtCAppLayerCore> removed;
    {
        std::lock_guard lock(writeLock_);
        auto found = writeLayers_.find(path);
        if (found == writeLayers_.end() || found->second->content() != content) return;
        removed = std::move(found->second);
        writeLayers_.erase(found);
    }
    removed->Close();
}

}  // namespace tarvik
