"""Reading: a file's content tree as Python objects, and its values into numpy arrays."""
import ctypes
import math
import os
import sys
import warnings
from ctypes import POINTER, byref, c_uint32, c_uint64, c_void_p
from dataclasses import dataclass, field
from typing import Optional

import numpy as np

from . import _records as R
from ._library import CallFindings, Mf4Error, call, lib, wide_text
from ._values import (BYTES, CAUSES, CONVERSION_KINDS, EVENT_TYPES, METHODS, NUMBER_DTYPES,
                      RANGE_TYPES, TEXT8, TEXT16, VARIABLE_LENGTH, YIELDS, kind_of,
                      property_value)

_LOWEST, _HIGHEST = -sys.float_info.max, sys.float_info.max
_ALL = (1 << 64) - 1
# ReadData modes.
_BY_INDEX, _BUCKETS_OF_RECORDS, _BY_TIME, _BUCKETS_OF_TIME = 0, 1, 2, 3


@dataclass(frozen=True)
class Conversion:
    index: int
    kind: str           # "linear", "value to text", ... (see _values.CONVERSION_KINDS)
    name: Optional[str]
    unit: Optional[str]
    yields: str         # "numbers", "texts" or "status texts"
    formula: Optional[str] = None
    parameters: tuple = ()  # linear: (offset, factor); rational: the six coefficients


@dataclass(frozen=True)
class Channel:
    index: int          # position in the file's channel list
    group: int
    name: str
    unit: Optional[str]
    comment: Optional[str]
    kind: str           # "integer", "float", "string", "bytes", "structure" or "unknown"
    value_type: int     # VARTYPE code as the interface has it
    dtype: Optional[np.dtype]  # of the raw numbers; None for strings and bytes
    shape: tuple        # array dimensions, () for a scalar
    conversion: Optional[Conversion]
    display_name: Optional[str] = None
    variable_length: bool = False
    member_path: tuple = ()  # a structure's member: child positions below channel `index`


@dataclass(frozen=True)
class Group:
    index: int
    name: Optional[str]
    comment: Optional[str]
    source: Optional[str]
    records: int
    master_dtype: Optional[np.dtype]  # None: the group has no numeric master
    master_unit: Optional[str]
    master_conversion: Optional[Conversion]
    channels: tuple = ()

    def __repr__(self):
        def described(ch):
            unit = f" [{ch.unit}]" if ch.unit else ""
            shape = "x".join(map(str, ch.shape))
            conversion = f", {ch.conversion.kind}" if ch.conversion else ""
            return f"{ch.name}{unit} ({ch.kind}{' ' + shape if shape else ''}{conversion})"
        master = f"{self.master_dtype} [{self.master_unit}]" if self.master_unit else \
            str(self.master_dtype)
        return (f"<Group {self.index} {self.name!r}: {self.records} records, master {master}; "
                + ", ".join(described(ch) for ch in self.channels) + ">")


@dataclass(frozen=True)
class Event:
    type: str
    time: float
    name: Optional[str]
    comment: Optional[str]
    range: str          # "point", "begin" or "end"
    cause: str


@dataclass(frozen=True)
class Attachment:
    file_name: Optional[str]
    mime_type: Optional[str]
    comment: Optional[str]
    embedded: bool
    size: int
    data: Optional[bytes] = field(repr=False)


@dataclass(frozen=True)
class Header:
    comment: Optional[str]
    properties: dict
    start_time_ns: int
    version: int
    program_id: str
    tool_vendor: Optional[str]
    tool_version: Optional[str]


@dataclass(frozen=True)
class HistoryEntry:
    time_ns: int
    comment: Optional[str]


def _wide_path(path):
    return os.fspath(path).encode("utf-16-le", "surrogatepass") + b"\0\0"


def _array(pointer, count):
    return [pointer[i] for i in range(count)] if pointer and count else []


def _properties(pointer, count):
    return {wide_text(p.name): property_value(p.type, wide_text(p.value))
            for p in _array(pointer, count)}


def _counter_pointers(count):
    """`count` items' four counters (stored, total, events stored, events total) in one array."""
    counters = np.zeros((max(count, 1), 4), dtype=np.uint64)
    base = counters.ctypes.data
    pointers = [[ctypes.cast(base + 8 * (4 * i + k), POINTER(c_uint64)) for k in range(4)]
                for i in range(count)]
    return counters, pointers


class _Values:
    """The host's buffer of one read item: sized from the tree, read into, then decoded."""

    def __init__(self, value_type, elements=1, shape=(), record_bytes=0, variable=False,
                 latin1=False):
        self.value_type = value_type
        self.elements = elements
        self.shape = shape
        self.record_bytes = record_bytes  # bytes: per record; variable: per position slot
        self.variable = variable
        self.latin1 = latin1
        self.byte_data = None
        self.capacity = 0
        self.transposed = False

    @staticmethod
    def of_channel(channel_record):
        c = channel_record
        dims = tuple(int(c.dimensionSizes[d]) for d in range(min(c.dimensionCount, 3)))
        if c.inverseLayout and len(dims) > 1:
            dims = dims[::-1]  # stored column-major: transposed after the read
        elements = math.prod(dims) if dims else 1
        vt = c.valueType
        if vt in NUMBER_DTYPES or vt in (TEXT8, TEXT16):
            values = _Values(vt, elements, dims, latin1=c.stringEncoding == 1)
            values.transposed = bool(c.inverseLayout) and len(dims) > 1
            return values
        if vt == BYTES:
            if c.channelType == VARIABLE_LENGTH:
                return _Values(vt, 1, (), (c.bitCount + 7) // 8 or 8, variable=True)
            return _Values(vt, 1, (), (c.bitCount * elements + 7) // 8)
        return None

    def allocate(self, records):
        """Room for `records` records; a buffer that has it already is used again."""
        vt = self.value_type
        if vt in NUMBER_DTYPES or vt in (TEXT8, TEXT16):
            self.capacity = records * self.elements
            size, dtype = self.capacity, NUMBER_DTYPES.get(vt, np.dtype(np.uintp))
        else:
            self.capacity = records
            size, dtype = records * self.record_bytes, np.dtype(np.uint8)
            if self.variable and self.byte_data is None:
                self.byte_data = np.empty(records * 16 + 4096, np.uint8)
        if getattr(self, "buffer", None) is None or self.buffer.size < size:
            self.buffer = (np.zeros if dtype == np.uintp else np.empty)(size, dtype)

    def bind(self, item, counters):
        item.capacity = self.capacity
        item.values = self.buffer.ctypes.data if self.buffer.size else None
        if self.value_type in (TEXT8, TEXT16):
            item.valueKind = self.value_type
        if self.variable:
            item.byteData = self.byte_data.ctypes.data
            item.reserved = self.byte_data.size
        item.valuesStored, item.valuesTotal, item.eventsStored, item.eventsTotal = counters

    def _shaped(self, values, stored):
        if not self.shape:
            return values
        values = values.reshape((stored,) + self.shape)
        if self.transposed:
            values = values.transpose(0, *range(len(self.shape), 0, -1))
        return values

    def release(self, stored):
        """Gives the library's strings of a read back without decoding them."""
        if self.value_type in (TEXT8, TEXT16) and stored:
            lib.FreeStrings(self.buffer.ctypes.data, stored * self.elements,
                            1 if self.value_type == TEXT16 else 0)

    def take(self, stored):
        """The values of the first `stored` samples; releases the library's strings."""
        vt = self.value_type
        if vt in NUMBER_DTYPES:
            return self._shaped(self.buffer[:stored * self.elements], stored)
        if vt in (TEXT8, TEXT16):
            slots = self.buffer[:stored * self.elements]
            try:
                texts = [self._text(address) for address in slots.tolist()]
            finally:
                if slots.size:
                    lib.FreeStrings(self.buffer.ctypes.data, slots.size, 1 if vt == TEXT16 else 0)
            values = np.empty(len(texts), dtype=object)
            values[:] = texts
            return self._shaped(values, stored)
        records = self.buffer[:stored * self.record_bytes].reshape(stored, self.record_bytes)
        values = np.empty(stored, dtype=object)
        if not self.variable:
            values[:] = [row.tobytes() for row in records]
            return values
        data = self.byte_data
        positions = np.zeros((stored, 8), np.uint8)
        width = min(self.record_bytes, 8)
        positions[:, :width] = records[:, :width]
        for i, position in enumerate(positions.view("<u8")[:, 0].tolist()):
            length = int(data[position:position + 4].view("<u4")[0])
            values[i] = data[position + 4:position + 4 + length].tobytes()
        return values

    def _text(self, address):
        if not address:
            return ""
        if self.value_type == TEXT16:
            return wide_text(address)
        raw = ctypes.string_at(address)
        return raw.decode("latin-1" if self.latin1 else "utf-8", "replace")

    def wants_more_bytes(self, stored, total):
        """A variable-length read that stopped for want of byte space: grow it, say so."""
        if not self.variable or stored >= total:
            return False
        self.byte_data = np.empty(self.byte_data.size * 4, np.uint8)
        return True


def _member_path(item, ch):
    """Points a read item at a structure member; the path array, which must outlive the read."""
    if not ch.member_path:
        return None
    path = (c_uint64 * len(ch.member_path))(*ch.member_path)
    item.memberCount = len(ch.member_path)
    item.memberPath = ctypes.cast(path, POINTER(c_uint64))
    return path


class _GroupRead:
    """One ReadData request for the master and chosen channels of a group, with the buffers
    it reads into: sized from the tree and a counting call, and reused when it runs again."""

    def __init__(self, file, group, channels):
        self.file = file
        self.group = g = file._group(group)
        chosen = g.channels if channels is None else [file.channel(c, group) for c in channels]
        self.layouts = [(ch, v) for ch in chosen
                        if (v := _Values.of_channel(file._record_of(ch))) is not None]
        self.buffers = [_Values(file._group_records[group].masterValueType)
                        if g.master_dtype is not None else None] + [v for _, v in self.layouts]
        # Item 0 is the group's: it takes the master values and counts the records.
        self.items = (R.MF4ReadItem * len(self.buffers))()
        self.counters, self.pointers = _counter_pointers(len(self.buffers))
        self.paths = [None] + [_member_path(item, ch) for item, (ch, _) in
                               zip(self.items[1:], self.layouts)]  # kept while items point there
        for item, index in zip(self.items, [group] + [ch.index for ch, _ in self.layouts]):
            item.structSize = ctypes.sizeof(R.MF4ReadItem)
            item.index = index
        self.request = R.sized(R.MF4ReadRequest)
        self.request.groupItemCount = 1
        self.request.groupItems = ctypes.cast(self.items, POINTER(R.MF4ReadItem))
        if self.layouts:
            self.request.channelItems = ctypes.cast(
                ctypes.addressof(self.items) + ctypes.sizeof(R.MF4ReadItem), POINTER(R.MF4ReadItem))

    def read(self, mode, first, sample_count, start, end, raw, records=None):
        """Values of the records of a range (ReadData's mode and item fields); `records`
        caps how many are read, by default all that the range holds."""
        for item in self.items:
            item.firstSample, item.sampleCount = first, sample_count
            item.startTime = _LOWEST if start is None else start
            item.endTime = _HIGHEST if end is None else end
        self.request.mode = mode
        if records is None:
            records = self._count()
        counters = self.counters
        while True:
            for j, buffer in enumerate(self.buffers):
                if buffer is None:  # no master values: the item only counts
                    self.items[j].capacity, self.items[j].values = 0, None
                    (self.items[j].valuesStored, self.items[j].valuesTotal,
                     self.items[j].eventsStored, self.items[j].eventsTotal) = self.pointers[j]
                    continue
                buffer.allocate(records)
                buffer.bind(self.items[j], self.pointers[j])
            counters[:] = 0
            self.request.channelItemCount = len(self.layouts)
            if records:
                self.file._read_data(self.request)
            stored = [int(min(counters[j, 0], records)) for j in range(len(self.buffers))]
            if not any(b is not None and b.wants_more_bytes(stored[j], records)
                       for j, b in enumerate(self.buffers)):
                break
            for j, buffer in enumerate(self.buffers):  # again, with more room for bytes
                if buffer is not None:
                    buffer.release(stored[j])
        g, physical = self.group, self.file._physical
        if self.buffers[0] is not None:
            t = physical(self.buffers[0].take(stored[0]), g.master_conversion, raw)
        else:
            t = np.arange(first, first + max(stored[1:], default=0), dtype=np.uint64)
        values = {}
        for j, (ch, buffer) in enumerate(self.layouts, start=1):
            key, n = ch.name, 2
            while key in values:  # a second channel of the same name
                key, n = f"{ch.name}({n})", n + 1
            values[key] = physical(buffer.take(stored[j]), ch.conversion, raw)
        return t, values

    def _count(self):
        """How many records the range holds: a ReadData of the group's item that stores
        nothing."""
        item = self.items[0]
        item.capacity, item.values = 0, None
        item.valuesStored, item.valuesTotal, item.eventsStored, item.eventsTotal = self.pointers[0]
        self.request.channelItemCount = 0
        self.counters[:] = 0
        self.file._read_data(self.request)
        return int(self.counters[0, 1])


class File:
    """An MDF 4 file opened for reading (ReadContent); closed with FreeContent."""

    def __init__(self, path):
        self.path = os.fspath(path)
        self._content = POINTER(R.MF4Content)()
        self._yields = {}
        out = CallFindings()
        result = lib.ReadContent(_wide_path(path), byref(self._content), *out.args())
        self.findings = out.take()
        if result == 2:
            self._free()  # a failed read may still have handed out a tree
            raise Mf4Error(f"cannot read {self.path}", self.findings)
        self._describe()

    # -- the tree ------------------------------------------------------------------------------
    def _describe(self):
        c = self._content.contents
        conversions = [self._conversion(i, cc) for i, cc in
                       enumerate(_array(c.conversions, c.conversionCount))]
        conversion = (lambda i: conversions[i] if 0 <= i < len(conversions) else None)
        self._records = _array(c.channels, c.channelCount)
        self._members = {}  # (index, member path) -> the member's record
        channels = []

        def add(i, record, path, fallback):
            conv = conversion(record.conversion)
            unit = wide_text(record.unit)
            if not unit and conv is not None and conv.yields == "numbers":
                unit = conv.unit  # a conversion's unit stands in; texts have none
            dims = tuple(int(record.dimensionSizes[d])
                         for d in range(min(record.dimensionCount, 3)))
            name = wide_text(record.name) or fallback
            channels.append(Channel(i, int(self._records[i].groupIndex), name, unit,
                                    wide_text(record.comment),
                                    kind_of(record.valueType, record.childCount),
                                    record.valueType, NUMBER_DTYPES.get(record.valueType), dims,
                                    conv, wide_text(record.displayName),
                                    record.channelType == VARIABLE_LENGTH, path))
            if path:
                self._members[(i, path)] = record
            # Members follow their structure, each named as the file names it (loggers write
            # "Frame.ID"), else after the structure and its position.
            for k in range(record.childCount if record.children else 0):
                add(i, record.children[k], path + (k,), f"{name}.{k}")

        for i, ch in enumerate(self._records):
            add(i, ch, (), "")
        self.channels = channels
        self._group_records = _array(c.groups, c.groupCount)
        self.groups = []
        for g, gr in enumerate(self._group_records):
            master = conversion(gr.masterConversion)
            self.groups.append(Group(
                g, wide_text(gr.acquisitionName), wide_text(gr.comment), wide_text(gr.sourceName),
                int(gr.cycleCount), NUMBER_DTYPES.get(gr.masterValueType),
                master.unit if master else None, master,
                tuple(ch for ch in channels if ch.group == g)))
        self._by_name = {}
        for ch in channels:
            self._by_name.setdefault(ch.name, []).append(ch)
        self.events = [Event(EVENT_TYPES.get(e.eventType, str(e.eventType)), e.syncValue,
                             wide_text(e.name), wide_text(e.comment),
                             RANGE_TYPES.get(e.rangeType, str(e.rangeType)),
                             CAUSES.get(e.cause, str(e.cause)))
                       for e in _array(c.events, c.eventCount)]
        self.attachments = [Attachment(wide_text(a.fileName), wide_text(a.mimeType),
                                       wide_text(a.comment), bool(a.embedded), int(a.size),
                                       ctypes.string_at(a.data, a.size) if a.data else None)
                            for a in _array(c.attachments, c.attachmentCount)]
        self.header = Header(wide_text(c.headerComment),
                             _properties(c.headerProperties, c.headerPropertyCount),
                             int(c.startTimeNs), int(c.formatVersion),
                             c.programId.decode("latin-1").rstrip(), wide_text(c.toolVendor),
                             wide_text(c.toolVersion))
        self.history = [HistoryEntry(int(h.timeNs), wide_text(h.comment))
                        for h in _array(c.history, c.historyCount)]

    def _conversion(self, index, cc):
        yields = c_uint32(0)
        if lib.ConversionYields(self._content, index, byref(yields)) == 2:
            yields.value = 0
        self._yields[index] = yields.value
        parameters = ()
        if cc.conversionType == 1:
            parameters = tuple(cc.parameters.linear)
        elif cc.conversionType == 2:
            parameters = tuple(cc.parameters.rational)
        return Conversion(index, CONVERSION_KINDS.get(cc.conversionType, "unsupported"),
                          wide_text(cc.name), wide_text(cc.unit), YIELDS[yields.value],
                          wide_text(cc.formula), parameters)

    # -- life ----------------------------------------------------------------------------------
    def close(self):
        self._free()

    def _free(self):
        if self._content:
            lib.FreeContent(self._content)
        self._content = POINTER(R.MF4Content)()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        if getattr(self, "_content", None):
            self._free()

    @property
    def closed(self):
        return not self._content

    def _open_content(self):
        if not self._content:
            raise ValueError(f"{self.path} is closed")
        return self._content

    # -- looking up ----------------------------------------------------------------------------
    def _record_of(self, ch):
        if ch.member_path:
            return self._members[(ch.index, ch.member_path)]
        return self._records[ch.index]

    def channel(self, name, group=None):
        """The channel named `name` (in `group` when given, else the first of that name)."""
        if isinstance(name, Channel):
            return name
        found = self._by_name.get(name, [])
        if group is not None:
            found = [ch for ch in found if ch.group == group]
        if not found:
            where = f" in group {group}" if group is not None else ""
            raise KeyError(f"{self.path} has no channel named {name!r}{where}")
        return found[0]

    def _group(self, group):
        if not 0 <= group < len(self.groups):
            raise IndexError(f"{self.path} has no group {group} (it has {len(self.groups)})")
        return self.groups[group]

    # -- values --------------------------------------------------------------------------------
    def read(self, name, *, start=None, end=None, first=None, count=None, raw=False,
             buckets=None, method="minmax", group=None):
        """(master values, channel values) of one channel; see read_group for the ranges.

        With `buckets`, the values are reduced per bucket (`method`: "minmax", "min", "max" or
        "mean") over [start, end] in master time (the file's reduction levels serve when one
        fits), or over records for a group without a numeric master; the master values then
        say where each reduced value lies."""
        ch = self.channel(name, group)
        if buckets is not None:
            return self._read_buckets(ch, buckets, method, start, end, first, count, raw)
        t, values = self.read_group(ch.group, [ch], start=start, end=end, first=first,
                                    count=count, raw=raw)
        return t, next(iter(values.values()))

    def read_group(self, group=0, channels=None, *, start=None, end=None, first=None,
                   count=None, raw=False):
        """(master values, {name: values}) of channels of one group in one ReadData call.

        Records by index (`first`, `count`) or by master time (`start`, `end`, both inclusive);
        by default all. Values are physical (each channel's conversion applied) unless `raw`:
        numbers as float64, text conversions as str; channels without a conversion keep their
        own dtype. Array channels come as (records, *dims) arrays, strings as str, byte arrays
        as bytes. A group without a numeric master gives record indices as master values."""
        by_time = start is not None or end is not None
        if by_time and (first is not None or count is not None):
            raise ValueError("give a time range (start, end) or a record range (first, count)")
        reader = _GroupRead(self, group, channels)
        if by_time:
            return reader.read(_BY_TIME, 0, 0, start, end, raw)
        first = first or 0
        if count is None:  # 0 means all only from record 0; else the rest of the index space
            count = 0 if first == 0 else _ALL - first
        elif count == 0:
            return reader.read(_BY_INDEX, first, 0, None, None, raw, records=0)
        return reader.read(_BY_INDEX, first, count, None, None, raw)

    def _pieces(self, group, channels, records, raw=False):
        """(master values, {name: values}) of successive pieces of at most `records` records,
        read into buffers that every piece reuses: a piece's arrays hold until the next one
        is read, and memory stays at one piece however long the recording."""
        reader = _GroupRead(self, group, channels)
        first = 0
        while True:
            t, values = reader.read(_BY_INDEX, first, records, None, None, raw, records=records)
            if len(t) == 0:
                return
            yield t, values
            first += len(t)

    def _read_data(self, request):
        _, findings = call(lib.ReadData, self._open_content(), byref(request),
                           what=f"cannot read the values of {self.path}")
        self.findings.extend(findings)

    def _physical(self, values, conversion, raw):
        """Raw values turned into physical ones by `conversion` (none, or raw: unchanged)."""
        if raw or conversion is None or conversion.kind == "identity":
            return values
        if values.dtype == object:  # strings and bytes have nothing to convert
            return values
        vt = next(code for code, dt in NUMBER_DTYPES.items() if dt == values.dtype)
        flat = np.ascontiguousarray(values).reshape(-1)
        content = self._open_content()
        if self._yields.get(conversion.index) == 1:
            texts = np.zeros(flat.size, np.uintp)
            buffer = c_void_p()
            result = lib.ConvertTexts(content, conversion.index, vt, flat.ctypes.data, flat.size,
                                      texts.ctypes.data, byref(buffer))
            try:
                self._check_conversion(result, conversion)
                decoded = {}
                out = np.empty(flat.size, dtype=object)
                out[:] = [decoded[a] if a in decoded else decoded.setdefault(a, wide_text(a))
                          for a in texts.tolist()]
            finally:
                lib.FreeConvertedTexts(buffer)
        else:
            out = np.empty(flat.size, np.float64)
            result = lib.ConvertNumbers(content, conversion.index, vt, flat.ctypes.data,
                                        flat.size, out.ctypes.data)
            self._check_conversion(result, conversion)
        return out.reshape(values.shape)

    def _check_conversion(self, result, conversion):
        if result == 2:
            raise Mf4Error(f"{self.path}: conversion {conversion.index} ({conversion.kind}) "
                           "cannot be applied")
        if result == 4:
            warnings.warn(f"{self.path}: conversion {conversion.index} ({conversion.kind}) is "
                          "not supported; raw values given", stacklevel=4)
        elif result == 5:
            warnings.warn(f"{self.path}: the formula {conversion.formula!r} does not compile; "
                          "NaN given", stacklevel=4)

    def _master_span(self, group):
        """First and last master time of a group, in master units after a linear conversion."""
        g = self.groups[group]
        t, _ = self.read_group(group, [], first=0, count=1, raw=True)
        if t.size == 0:
            return None
        t_last, _ = self.read_group(group, [], first=max(g.records - 1, 0), count=1, raw=True)
        span = (float(t[0]), float(t_last[-1] if t_last.size else t[0]))
        conv = g.master_conversion
        if conv is not None and conv.kind == "linear":
            offset, factor = conv.parameters
            span = tuple(offset + factor * x for x in span)
        return span

    def _read_buckets(self, ch, buckets, method, start, end, first, count, raw):
        if method not in METHODS:
            raise ValueError(f"method must be one of {', '.join(METHODS)}, not {method!r}")
        if buckets < 1:
            raise ValueError("buckets must be at least 1")
        g = self.groups[ch.group]
        values = _Values.of_channel(self._record_of(ch))
        if ch.dtype is None or values is None:
            raise TypeError(f"{ch.name!r} holds {ch.kind} values; only numbers can be reduced")
        item, position = R.sized(R.MF4ReadItem), R.sized(R.MF4ReadItem)
        paths = [_member_path(it, ch) for it in (item, position)]  # alive until the reads end
        for it in (item, position):
            it.index = ch.index
            it.method = METHODS[method]
        if g.master_dtype is not None and first is None and count is None:
            mode = _BUCKETS_OF_TIME
            if start is None or end is None:
                span = self._master_span(ch.group)
                if span is None:
                    return np.empty(0, g.master_dtype), np.empty((0,) + ch.shape, ch.dtype)
                start = span[0] if start is None else start
                end = span[1] if end is None else end
            width = (end - start) / buckets
            for it in (item, position):
                it.startTime, it.endTime = start, end
                it.bucketTime = width if width > 0 else 1.0
                it.levelTime = -1.0  # any reduction level that fits the buckets
            positions = _Values(self._group_records[ch.group].masterValueType)
        else:
            mode = _BUCKETS_OF_RECORDS
            first = first or 0
            records = (g.records - first) if count is None else count
            for it in (item, position):
                it.firstSample, it.sampleCount = first, max(records, 0)
                it.bucketSamples = max(1, -(-records // buckets))
            positions = _Values(21)
        positions.elements, positions.shape = values.elements, values.shape
        counters, pointers = _counter_pointers(2)
        request = R.sized(R.MF4ReadRequest)
        request.channelItemCount = request.groupItemCount = 1
        request.channelItems, request.groupItems = ctypes.pointer(item), ctypes.pointer(position)
        request.mode = mode
        samples = 0
        for _ in range(2):  # first the count, then the values
            for buffer, it, ptrs in ((values, item, pointers[0]),
                                     (positions, position, pointers[1])):
                buffer.allocate(samples)
                buffer.bind(it, ptrs)
            counters[:] = 0
            self._read_data(request)
            samples = int(counters[0, 1])
        del paths
        stored = int(min(counters[0, 0], counters[1, 0], samples))
        t = positions.take(stored)
        if positions.shape:
            t = t.reshape(stored, -1)[:, 0]  # every element of a sample lies at one place
        if mode == _BUCKETS_OF_TIME:
            t = self._physical(t, g.master_conversion, raw)
        return t, self._physical(values.take(stored), ch.conversion, raw)

    def to_pandas(self, group=0, channels=None, *, raw=False, **ranges):
        """One DataFrame of a group's channels, the master values as its index ("time").
        An array channel becomes one column per element, "name[i]" (or "name[i][j]")."""
        import pandas as pd
        t, values = self.read_group(group, channels, raw=raw, **ranges)
        columns = {}
        for name, v in values.items():
            if v.ndim == 1:
                columns[name] = v
                continue
            for index in np.ndindex(*v.shape[1:]):
                columns[name + "".join(f"[{i}]" for i in index)] = v[(slice(None),) + index]
        # The frame takes the arrays as they are: a copy into one block would double the read.
        return pd.DataFrame(columns, index=pd.Index(t, name="time"), copy=False)


def open(path):  # noqa: A001 - the package's entry point mirrors the builtin
    """Opens an MDF 4 file for reading; use it in a `with` block or call close()."""
    return File(path)
