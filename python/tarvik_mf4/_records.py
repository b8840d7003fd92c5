"""The records of TarvikMF4Access.h, mirrored once for ctypes.

Field names and order follow the header exactly, so that a test can set every size and offset
here against what a C compiler makes of the header. Texts (MF4Char*) are kept as plain
addresses: they are decoded by _library.wide_text and built by _library.WideTexts.
"""
import ctypes
from ctypes import (POINTER, Structure, Union, c_char, c_double, c_int16, c_int32, c_int64,
                    c_uint8, c_uint16, c_uint32, c_uint64, c_void_p)

Text = c_void_p  # MF4Char*: NUL-terminated UTF-16


class MF4Property(Structure):
    _fields_ = [("structSize", c_uint64), ("name", Text), ("type", c_uint32), ("value", Text)]


class MF4Axis(Structure):
    _fields_ = [("structSize", c_uint64), ("inputChannel", c_int64),
                ("dynamicSizeChannel", c_int64), ("axisKind", c_uint32),
                ("axisConversion", c_int64), ("values", POINTER(c_double)),
                ("valueCount", c_uint64), ("axisChannel", c_int64)]


class MF4ValuePair(Structure):
    _fields_ = [("structSize", c_uint64), ("key", c_double), ("value", c_double)]


class MF4ValueText(Structure):
    _fields_ = [("structSize", c_uint64), ("value", c_double), ("text", Text)]


class _RangeRef(Union):
    _fields_ = [("text", Text), ("conversion", c_int64)]


class MF4RangeText(Structure):
    _fields_ = [("structSize", c_uint64), ("lower", c_double), ("upper", c_double),
                ("refKind", c_uint32), ("ref", _RangeRef)]


class _Parameters(Union):
    _fields_ = [("linear", c_double * 2), ("rational", c_double * 6),
                ("pairs", POINTER(MF4ValuePair)), ("valueTexts", POINTER(MF4ValueText)),
                ("rangeTexts", POINTER(MF4RangeText)), ("raw", c_uint8 * 48)]


class MF4Conversion(Structure):
    _fields_ = [("structSize", c_uint64), ("conversionType", c_uint32), ("name", Text),
                ("comment", Text), ("format", Text), ("unit", Text), ("formula", Text),
                ("defaultText", Text), ("defaultConversion", c_int64), ("entryCount", c_uint64),
                ("reserved1", c_uint64), ("physMin", c_double), ("physMax", c_double),
                ("precisionValid", c_uint32), ("precision", c_uint8), ("statusString", c_uint32),
                ("propertyCount", c_uint64), ("properties", POINTER(MF4Property)),
                ("parameters", _Parameters)]


class MF4Channel(Structure):
    pass


MF4Channel._fields_ = [
    ("structSize", c_uint64), ("name", Text), ("sourceName", Text), ("sourcePath", Text),
    ("valueType", c_uint32), ("cycleCount", c_uint64), ("segmentCount", c_uint64),
    ("dimensionCount", c_uint16), ("dimensionSizes", c_uint64 * 3), ("isLookup", c_uint32),
    ("axes", POINTER(MF4Axis) * 3), ("outputChannel", c_int64), ("comparisonChannel", c_int64),
    ("isScalingAxis", c_uint32), ("inverseLayout", c_uint32), ("displayName", Text),
    ("comment", Text), ("unit", Text), ("format", Text), ("calibration", c_uint32),
    ("calculated", c_uint32), ("isVirtual", c_uint32), ("limitValid", c_uint32),
    ("busEvent", c_uint32), ("limitMin", c_double), ("limitMax", c_double),
    ("extLimitValid", c_uint32), ("extLimitMin", c_double), ("extLimitMax", c_double),
    ("bitCount", c_uint32), ("propertyCount", c_uint64), ("properties", POINTER(MF4Property)),
    ("groupIndex", c_uint64), ("conversion", c_int64), ("syncAttachment", c_int64),
    ("lengthChannel", c_int64), ("syncType", c_uint32), ("channelType", c_uint32),
    ("childCount", c_uint64), ("children", POINTER(MF4Channel)), ("byteOffset", c_uint32),
    ("bitOffset", c_uint8), ("precisionValid", c_uint32), ("precision", c_uint8),
    ("stringEncoding", c_uint32)]


class MF4ChannelGroup(Structure):
    _fields_ = [("structSize", c_uint64), ("acquisitionName", Text), ("sourceName", Text),
                ("sourcePath", Text), ("pathSeparator", c_uint16), ("masterValueType", c_uint32),
                ("cycleCount", c_uint64), ("segmentCount", c_uint64),
                ("reductionRaster", c_double), ("comment", Text), ("propertyCount", c_uint64),
                ("properties", POINTER(MF4Property)), ("withReduction", c_uint32),
                ("busEventGroup", c_uint32), ("plainBusEventGroup", c_uint32),
                ("sourceChannelNumber", Text), ("sourceType", c_uint32), ("busType", c_uint32),
                ("masterRaster", c_double), ("masterRangeValid", c_uint32),
                ("masterRangeMin", c_double), ("masterRangeMax", c_double),
                ("masterConversion", c_int64), ("masterByteOffset", c_uint32),
                ("masterBitOffset", c_uint8), ("recordDataBytes", c_uint32),
                ("dataGroupPosition", c_uint64)]


class MF4Event(Structure):
    _fields_ = [("structSize", c_uint64), ("eventType", c_uint32), ("rangeType", c_uint32),
                ("cause", c_uint32), ("postProcessing", c_uint32), ("scopeKind", c_uint32),
                ("scopeCount", c_uint32), ("scope", POINTER(c_uint64)), ("syncValue", c_double),
                ("name", Text), ("comment", Text), ("preTrigger", c_double),
                ("postTrigger", c_double), ("syntax", Text), ("rangeBegin", c_int64),
                ("timeout", c_double), ("timeoutTriggered", c_uint32), ("typeProperty", c_int32),
                ("colorProperty", c_uint32), ("systemTime", c_double), ("position", c_uint64)]


class MF4Attachment(Structure):
    _fields_ = [("structSize", c_uint64), ("fileName", Text), ("mimeType", Text),
                ("comment", Text), ("embedded", c_uint32), ("compressed", c_uint32),
                ("md5Valid", c_uint32), ("size", c_uint64), ("propertyCount", c_uint64),
                ("properties", POINTER(MF4Property)), ("data", c_void_p)]


class MF4HistoryEntry(Structure):
    _fields_ = [("structSize", c_uint64), ("timeNs", c_uint64), ("tzOffsetMin", c_int16),
                ("dstOffsetMin", c_int16), ("timeFlags", c_uint8), ("comment", Text)]


class MF4Content(Structure):
    _fields_ = [("reserved0", c_uint64), ("channelCount", c_uint64), ("groupCount", c_uint64),
                ("conversionCount", c_uint64), ("attachmentCount", c_uint64),
                ("headerPropertyCount", c_uint64), ("eventCount", c_uint64),
                ("historyCount", c_uint64), ("channels", POINTER(MF4Channel)),
                ("groups", POINTER(MF4ChannelGroup)), ("conversions", POINTER(MF4Conversion)),
                ("events", POINTER(MF4Event)), ("headerProperties", POINTER(MF4Property)),
                ("attachments", POINTER(MF4Attachment)), ("history", POINTER(MF4HistoryEntry)),
                ("programId", c_char * 8), ("formatVersion", c_uint16), ("timeKind", c_uint32),
                ("startTimeNs", c_uint64), ("tzOffsetMin", c_int16), ("dstOffsetMin", c_int16),
                ("contentFlags", c_uint64), ("toolVendor", Text), ("toolVersion", Text),
                ("filePath", Text), ("headerComment", Text), ("historyComment", Text)]


class MF4Error(Structure):
    _fields_ = [("reserved0", c_uint64), ("messageId", c_uint32), ("detail1", Text),
                ("detail2", Text), ("message", Text), ("severity", c_uint32)]


class _ReducedValue(Union):
    _fields_ = [("asInt", c_int64), ("asUInt", c_uint64), ("asDouble", c_double),
                ("bytes", c_uint8 * 8)]


class MF4ReadItem(Structure):
    _fields_ = [("structSize", c_uint64), ("index", c_uint64), ("firstSample", c_uint64),
                ("sampleCount", c_uint64), ("startTime", c_double), ("endTime", c_double),
                ("withNeighbours", c_uint32), ("method", c_uint32), ("bucketTime", c_double),
                ("levelTime", c_double), ("bucketSamples", c_uint64), ("reducedType", c_uint32),
                ("reducedValue", _ReducedValue), ("elementIndices", POINTER(c_uint64)),
                ("memberCount", c_uint64), ("memberPath", POINTER(c_uint64)),
                ("reserved", c_uint64), ("valueKind", c_uint32), ("capacity", c_uint64),
                ("values", c_void_p), ("byteData", c_void_p), ("eventCapacity", c_uint64),
                ("eventSamples", POINTER(c_uint64)), ("valuesStored", POINTER(c_uint64)),
                ("valuesTotal", POINTER(c_uint64)), ("eventsStored", POINTER(c_uint64)),
                ("eventsTotal", POINTER(c_uint64)), ("usedInterval", POINTER(c_double))]


class MF4ReadRequest(Structure):
    _fields_ = [("structSize", c_uint64), ("channelItemCount", c_uint64),
                ("channelItems", POINTER(MF4ReadItem)), ("groupItemCount", c_uint64),
                ("groupItems", POINTER(MF4ReadItem)), ("mode", c_uint32),
                ("cancelFlag", POINTER(c_uint32))]


_WRITE_ITEM = [("structSize", c_uint64), ("reserved2", c_uint64), ("valueType", c_uint32),
               ("valueCount", c_uint64), ("values", c_void_p), ("lengths", c_void_p),
               ("interruptionCount", c_uint64), ("interruptions", POINTER(c_uint64)),
               ("user1", c_uint32), ("user2", c_uint32)]


class MF4WriteGroup(Structure):
    _fields_ = (_WRITE_ITEM[:1] + [("group", c_uint64), ("reserved1", c_uint64 * 2)]
                + _WRITE_ITEM[1:])


class MF4WriteChannel(Structure):
    _fields_ = (_WRITE_ITEM[:1] + [("channel", c_uint64), ("memberCount", c_uint64),
                                   ("memberPath", POINTER(c_uint64))] + _WRITE_ITEM[1:])


class MF4WriteRequest(Structure):
    _fields_ = [("structSize", c_uint64), ("channelCount", c_uint64),
                ("channels", POINTER(MF4WriteChannel)), ("groupCount", c_uint64),
                ("groups", POINTER(MF4WriteGroup)), ("eventCount", c_uint64),
                ("events", POINTER(MF4Event)), ("closeFile", c_uint32)]


# Every record a host hands over or receives, for the layout check.
RECORDS = [MF4Property, MF4Axis, MF4ValuePair, MF4ValueText, MF4RangeText, MF4Conversion,
           MF4Channel, MF4ChannelGroup, MF4Event, MF4Attachment, MF4HistoryEntry, MF4Content,
           MF4Error, MF4ReadItem, MF4ReadRequest, MF4WriteGroup, MF4WriteChannel,
           MF4WriteRequest]


def sized(record):
    """A record with its structSize set, as the library expects of every record handed in."""
    value = record()
    if any(name == "structSize" for name, _ in record._fields_):
        value.structSize = ctypes.sizeof(record)
    return value
