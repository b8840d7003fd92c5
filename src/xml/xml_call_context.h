// The XML state of one exported call. libxml2 needs no per-thread initialisation (unlike the
// COM-based parsers of other platforms), so the context only bounds the lifetime of what the
// XML engine prepares for a call: it is created on the call's stack and everything it holds is
// released when the call ends.
#pragma once

namespace tarvik {

class XmlCallContext {
public:
    XmlCallContext() = default;
    XmlCallContext(const XmlCallContext&) = delete;
    XmlCallContext& operator=(const XmlCallContext&) = delete;
};

}  // namespace tarvik
