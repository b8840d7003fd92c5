"""Writing: a content tree built from the columns' layouts, then WriteContent, WriteData per
batch and FinishWriting. The tree and every buffer it points to live in the Writer until the
file is finished, as WriteContent asks."""
import ctypes
import os
import time as _time
from ctypes import byref

import numpy as np

from . import _records as R
from ._library import CallFindings, Mf4Error, WideTexts, call, lib
from ._values import BYTES, TEXT8, TEXT16, VALUE_TYPES, VARIABLE_LENGTH

VERSION = "0.1.0"  # the package's own, named in the history entry of every file it writes

_TEXT_KINDS = {"str": TEXT8, "utf-8": TEXT8, "utf-16": TEXT16}
_PROPERTY_TYPES = {bool: 11, int: 20, float: 5}


class ChannelLayout:
    """What one column becomes: a value type, array dimensions, and for byte strings their
    width (fixed) or channelType 1 (variable length)."""

    def __init__(self, name, kind):
        self.name = name
        self.dtype = None
        self.shape = ()
        self.value_type = None
        self.bit_count = 64
        self.variable = False
        if isinstance(kind, str) and kind in _TEXT_KINDS:
            self.value_type = _TEXT_KINDS[kind]
        elif isinstance(kind, str) and kind == "bytes":
            self.value_type, self.variable = BYTES, True
        else:
            try:
                dtype = np.dtype(kind)
            except TypeError:
                raise TypeError(f"channel {name!r}: cannot write values of kind {kind!r}") from None
            if dtype.subdtype is not None:
                dtype, self.shape = dtype.subdtype
            if len(self.shape) > 3:
                raise TypeError(f"channel {name!r}: arrays have at most 3 dimensions")
            if dtype == np.bool_:
                dtype = np.dtype(np.uint8)
            if dtype.kind in "SV":
                self.value_type, self.bit_count = BYTES, dtype.itemsize * 8
            elif dtype.newbyteorder("=") in VALUE_TYPES and dtype.isnative:
                self.value_type = VALUE_TYPES[dtype]
                self.bit_count = dtype.itemsize * 8
            else:
                raise TypeError(f"channel {name!r}: cannot write values of dtype {dtype}")
            self.dtype = dtype

    def describe(self):
        if self.value_type in (TEXT8, TEXT16):
            return "str"
        if self.variable:
            return "bytes"
        return str(np.dtype((self.dtype, self.shape)) if self.shape else self.dtype)

    def prepare(self, values, texts):
        """The batch's values as the library takes them: (values address, lengths address)."""
        name = self.name
        if self.value_type in (TEXT8, TEXT16):
            items = _objects(values)
            if not all(isinstance(v, str) for v in items):
                raise TypeError(f"channel {name!r} takes str values, got "
                                f"{_first_other(items, str)}")
            encoding, end = ("utf-8", b"\0") if self.value_type == TEXT8 else ("utf-16-le", b"\0\0")
            encoded = [v.encode(encoding, "surrogatepass") for v in items]
            blob = texts.keep(np.frombuffer(end.join(encoded) + end, np.uint8))
            sizes = np.fromiter(map(len, encoded), np.uint64, len(encoded)) + len(end)
            starts = np.zeros(len(encoded), np.uint64)
            np.cumsum(sizes[:-1], out=starts[1:])
            pointers = texts.keep(starts + np.uint64(blob.ctypes.data))
            return pointers.ctypes.data, None
        if self.variable:
            items = _objects(values)
            if not all(isinstance(v, (bytes, bytearray, memoryview)) for v in items):
                raise TypeError(f"channel {name!r} takes bytes values, got "
                                f"{_first_other(items, bytes)}")
            blob = texts.keep(np.frombuffer(b"".join(items) + b"\0", np.uint8))
            lengths = texts.keep(np.fromiter(map(len, items), np.uint64, len(items)))
            return blob.ctypes.data, lengths.ctypes.data
        array = np.asarray(values)
        if array.shape[1:] != self.shape:
            raise TypeError(f"channel {name!r} takes values of shape {self.shape} per record, "
                            f"got {array.shape[1:]}")
        if self.value_type == BYTES:
            if array.dtype.kind not in "SV" or array.dtype.itemsize > self.dtype.itemsize:
                raise TypeError(f"channel {name!r} takes {self.dtype.itemsize}-byte values, "
                                f"got dtype {array.dtype}")
        elif array.dtype == np.bool_ and self.dtype == np.uint8:
            pass
        elif array.dtype.kind not in "biuf" or not np.can_cast(array.dtype, self.dtype, "safe"):
            raise TypeError(f"channel {name!r} takes {self.describe()} values, got dtype "
                            f"{array.dtype}")
        array = texts.keep(np.ascontiguousarray(array, dtype=self.dtype))
        return (array.ctypes.data if array.size else None), None


def _objects(values):
    return values.tolist() if isinstance(values, np.ndarray) else list(values)


def _first_other(items, wanted):
    other = next((v for v in items if not isinstance(v, wanted)), None)
    return f"{type(other).__name__} {other!r}"


def layout_of(name, values):
    """The channel a column of values asks for."""
    array = np.asarray(values) if not hasattr(values, "to_numpy") else values.to_numpy()
    if array.dtype.kind == "U":
        return ChannelLayout(name, "str")
    if array.dtype == object:
        items = array.tolist()
        if items and all(isinstance(v, str) for v in items):
            return ChannelLayout(name, "str")
        if items and all(isinstance(v, (bytes, bytearray)) for v in items):
            return ChannelLayout(name, "bytes")
        raise TypeError(f"column {name!r} mixes kinds of values ({_first_other(items, str)}); "
                        "columns must hold numbers, str or bytes")
    return ChannelLayout(name, np.dtype((array.dtype, array.shape[1:])) if array.ndim > 1
                       else array.dtype)


def _column(data, name):
    values = data[name]
    return values.to_numpy() if hasattr(values, "to_numpy") else values


class Writer:
    """A new file being written: write_batch() appends records, close() finishes the file."""

    def __init__(self, path, channels, *, time="time", time_dtype="float64", units=None,
                 comments=None, comment=None, properties=None, version=410, start_time_ns=None,
                 reduction=False):
        self.path = os.fspath(path)
        self.time = time
        units, comments = units or {}, comments or {}
        self.layouts = [s if isinstance(s, ChannelLayout) else ChannelLayout(n, s)
                      for n, s in (channels.items() if isinstance(channels, dict)
                                   else [(c.name, c) for c in channels])]
        self.master = ChannelLayout(time, time_dtype)
        if self.master.dtype is None or self.master.shape:
            raise TypeError(f"the time column {time!r} must be numbers")
        if len({s.name for s in self.layouts} | {time}) != len(self.layouts) + 1:
            raise ValueError("every channel needs a name of its own, other than the time's")
        self.findings = []
        self._texts = t = WideTexts()
        self._wide_path = os.fspath(path).encode("utf-16-le", "surrogatepass") + b"\0\0"

        # The group has no field for the master's unit: a named identity conversion carries it.
        self._conversions = (R.MF4Conversion * 1)()
        unit = self._conversions[0]
        unit.structSize = ctypes.sizeof(R.MF4Conversion)
        unit.name, unit.unit = t.add(time), t.add(units.get(time, "s"))
        unit.defaultConversion = -1
        self._groups = (R.MF4ChannelGroup * 1)()
        group = self._groups[0]
        group.structSize = ctypes.sizeof(R.MF4ChannelGroup)
        group.acquisitionName = t.add(time)  # also the master channel's name
        group.masterValueType = self.master.value_type
        group.masterConversion = 0
        group.withReduction = 1 if reduction else 0  # levels for down-sampled reads
        self._channels = (R.MF4Channel * max(len(self.layouts), 1))()
        for ch, layout in zip(self._channels, self.layouts):
            ch.structSize = ctypes.sizeof(R.MF4Channel)
            ch.name, ch.unit = t.add(layout.name), t.add(units.get(layout.name))
            ch.comment = t.add(comments.get(layout.name))
            ch.valueType, ch.bitCount = layout.value_type, layout.bit_count
            ch.channelType = VARIABLE_LENGTH if layout.variable else 0
            ch.dimensionCount = len(layout.shape)
            for d, size in enumerate(layout.shape):
                ch.dimensionSizes[d] = size
            ch.conversion = ch.syncAttachment = ch.lengthChannel = -1
            ch.outputChannel = ch.comparisonChannel = -1
        props = list((properties or {}).items())
        self._properties = (R.MF4Property * max(len(props), 1))()
        for p, (name, value) in zip(self._properties, props):
            p.structSize = ctypes.sizeof(R.MF4Property)
            p.name, p.value = t.add(name), t.add(str(value).lower() if isinstance(value, bool)
                                                  else value)
            p.type = _PROPERTY_TYPES.get(type(value), 31)
        c = self._content = R.MF4Content()
        c.groups, c.groupCount = self._groups, 1
        c.channels, c.channelCount = (self._channels if self.layouts else None), len(self.layouts)
        c.conversions, c.conversionCount = self._conversions, 1
        c.headerProperties = self._properties if props else None
        c.headerPropertyCount = len(props)
        c.programId = b"tarvikpy"
        c.formatVersion = version
        c.timeKind = 2
        c.startTimeNs = _time.time_ns() if start_time_ns is None else start_time_ns
        c.toolVendor, c.toolVersion = t.add("Tarvik"), t.add(VERSION)
        c.headerComment = t.add(comment)
        c.filePath = t.add(self.path)
        self._state = "new"
        _, self.findings = call(lib.WriteContent, self._wide_path, byref(c),
                                what=f"cannot create {self.path}")
        self._state = "open"

    def write_batch(self, data=None, **columns):
        """Appends the records of `data` (a DataFrame or a dict of arrays) and/or `columns`:
        the time column and every channel, all of one length."""
        if self._state != "open":
            raise ValueError(f"{self.path} is not open for writing")
        merged = dict(data.items()) if data is not None else {}
        merged.update(columns)
        if hasattr(data, "index") and self.time not in merged:
            merged[self.time] = data.index.to_numpy()
        missing = [n for n in [self.time] + [s.name for s in self.layouts] if n not in merged]
        if missing:
            raise KeyError(f"the batch lacks the column(s) {', '.join(map(repr, missing))}")
        unknown = set(merged) - {self.time} - {s.name for s in self.layouts}
        if unknown:
            raise KeyError(f"{self.path} has no channel(s) {', '.join(map(repr, sorted(unknown)))}")
        batch = WideTexts()  # this batch's buffers, kept until WriteData returns
        records = len(_column(merged, self.time))
        master_values, _ = self.master.prepare(_column(merged, self.time), batch)
        request = R.sized(R.MF4WriteRequest)
        items = (R.MF4WriteChannel * max(len(self.layouts), 1))()
        for i, (item, layout) in enumerate(zip(items, self.layouts)):
            values = _column(merged, layout.name)
            if len(values) != records:
                raise ValueError(f"channel {layout.name!r} has {len(values)} values for "
                                 f"{records} records")
            item.structSize = ctypes.sizeof(R.MF4WriteChannel)
            item.channel = i
            item.valueType = layout.value_type
            item.valueCount = records
            item.values, item.lengths = layout.prepare(values, batch)
        group = R.sized(R.MF4WriteGroup)
        group.valueType, group.valueCount, group.values = \
            self.master.value_type, records, master_values
        if records == 0:
            return
        request.groupCount, request.groups = 1, ctypes.pointer(group)
        request.channelCount = len(self.layouts)
        request.channels = items if self.layouts else None
        out = CallFindings()
        result = lib.WriteData(byref(self._content), byref(request), *out.args())
        findings = out.take()
        self.findings.extend(findings)
        if result == 2:
            if findings:  # the write ended with the file as far as it got
                self._state = "failed"
            raise Mf4Error(f"cannot write a batch to {self.path}", findings)

    def close(self):
        """Finishes the file (FinishWriting)."""
        if self._state != "open":
            return
        self._state = "finished"
        _, findings = call(lib.FinishWriting, byref(self._content),
                           what=f"cannot finish {self.path}")
        self.findings.extend(findings)

    def abandon(self):
        """Closes the file unfinished; what the batches wrote stays recoverable."""
        if self._state == "open":
            lib.CloseUnfinished(byref(self._content))
        self._state = "abandoned"

    def __enter__(self):
        return self

    def __exit__(self, kind, value, trace):
        if kind is None:
            self.close()
        else:
            self.abandon()

    def __del__(self):
        if getattr(self, "_state", None) == "open":
            self.abandon()


def create(path, channels, **options):
    """A Writer for a file of one group: `channels` maps names to numpy dtypes (with a shape
    for arrays, e.g. ("f4", (4,))), "str" (UTF-8), "utf-16" or "bytes" (any length).
    Options: time (the master's name, "time"), time_dtype, units and comments (by channel
    name; the time's unit defaults to "s"), comment and properties of the file's header,
    version (400 or 410), start_time_ns, reduction (compute reduction levels while writing,
    so that down-sampled reads of long recordings need not read every record)."""
    return Writer(path, channels, **options)


def write(path, data, *, time="time", units=None, comments=None, batch=10_000, **options):
    """Writes a DataFrame or a dict of arrays as one group, `batch` records per WriteData.

    The column named `time` is the master; without one, a DataFrame's index (unless it is
    the default range) or else the record index (float64) takes its place. The findings of
    the calls come back; a write that fails or is interrupted removes its file."""
    names = list(data.keys())
    if time in names:
        master = _column(data, time)
    elif hasattr(data, "index") and not _default_index(data.index):
        master = data.index.to_numpy()
    else:
        master = np.arange(len(_column(data, names[0])) if names else 0, dtype=np.float64)
    columns = {n: _column(data, n) for n in names if n != time}
    layouts = [layout_of(n, v) for n, v in columns.items()]
    for n, v in columns.items():
        if len(v) != len(master):
            raise ValueError(f"column {n!r} has {len(v)} values, the time {len(master)}")
    master_layout = layout_of(time, master)
    if master_layout.dtype is None or master_layout.dtype.kind not in "iuf":
        raise TypeError(f"the time column {time!r} must hold numbers, not {master_layout.describe()}")
    if batch < 1:
        raise ValueError("batch must be at least 1")
    writer = Writer(path, layouts, time=time, time_dtype=master_layout.dtype, units=units,
                    comments=comments, **options)
    try:
        for begin in range(0, max(len(master), 1), batch):
            part = {n: v[begin:begin + batch] for n, v in columns.items()}
            part[time] = master[begin:begin + batch]
            writer.write_batch(part)
        writer.close()
    except BaseException:
        # Half the data would pass for a short measurement: a write that did not end leaves
        # no file (a stream from create() stays, unfinished, for recovery instead).
        writer.abandon()
        os.remove(writer.path)
        raise
    return writer.findings


def _default_index(index):
    import pandas as pd
    return isinstance(index, pd.RangeIndex) and index.start == 0 and index.step == 1
