"""Loading the two shared libraries, their function prototypes, texts and findings.

The libraries are looked for, in this order: the paths in TARVIK_MF4_LIBRARY and
TARVIK_MF4_CONVERT_LIBRARY; beside this package (where `pip install ./python` puts them when
a build exists); the build tree of the repository this package lies in (build/release/lib);
the system's library path. The conversion library is looked for beside the main one first, so
that the two always come from the same build.
"""
import ctypes
import os
from ctypes import POINTER, c_int64, c_uint8, c_uint32, c_uint64, c_void_p
from dataclasses import dataclass
from pathlib import Path

from . import _records as R

ACCESS_NAME = "libTarvikMF4Access.so"
CONVERT_NAME = "libTarvikMF4Convert.so"

OK, WARNINGS, ERRORS = 0, 1, 2


class Mf4Error(Exception):
    """A library call failed (result 2); `findings` holds what it reported, maybe nothing."""

    def __init__(self, message, findings=()):
        self.findings = list(findings)
        if self.findings:
            message += ": " + "; ".join(str(f) for f in self.findings)
        super().__init__(message)


@dataclass(frozen=True)
class Finding:
    """One finding of a call: its number, "error" or "warning", the message and its details."""
    number: int
    severity: str
    message: str
    details: tuple

    def __str__(self):
        text = self.message or " ".join(d for d in self.details if d)
        return f"{self.severity} {self.number}: {text}"


def _candidates(env, name, near=None):
    if os.environ.get(env):
        yield Path(os.environ[env])
    if near is not None:
        yield near.parent / name
    here = Path(__file__).resolve().parent
    yield here / name
    yield here.parent.parent / "build" / "release" / "lib" / name


def _load(env, name, near=None):
    tried = []
    for path in _candidates(env, name, near):
        if path.is_file():
            return ctypes.CDLL(str(path)), path
        tried.append(str(path))
    # Last, whatever the dynamic loader finds on its own (an installed library).
    try:
        return ctypes.CDLL(name), Path(name)
    except OSError:
        tried.append(name + " on the library path")
    raise OSError(f"cannot find {name}; set {env} to its path (looked at: {', '.join(tried)})")


def _declare(lib, name, result, *arguments):
    function = getattr(lib, name)
    function.restype = result
    function.argtypes = list(arguments)
    return function


class _Libraries:
    """Both libraries, loaded on first use so that importing the package never fails."""

    def __init__(self):
        self._access = None

    def __getattr__(self, name):
        if self._access is None:
            self._load()
        return self.__dict__[name]

    def _load(self):
        access, path = _load("TARVIK_MF4_LIBRARY", ACCESS_NAME)
        convert, convert_path = _load("TARVIK_MF4_CONVERT_LIBRARY", CONVERT_NAME, near=path)
        errors = POINTER(POINTER(R.MF4Error))
        content = POINTER(R.MF4Content)
        f = self.__dict__
        f["access_path"], f["convert_path"] = path, convert_path
        f["ReadContent"] = _declare(access, "ReadContent", c_uint32, c_void_p,
                                    POINTER(content), errors, POINTER(c_uint64))
        f["ReadData"] = _declare(access, "ReadData", c_uint32, content,
                                 POINTER(R.MF4ReadRequest), errors, POINTER(c_uint64))
        f["WriteContent"] = _declare(access, "WriteContent", c_uint32, c_void_p, content, errors,
                                     POINTER(c_uint64))
        f["WriteData"] = _declare(access, "WriteData", c_uint32, content,
                                  POINTER(R.MF4WriteRequest), errors, POINTER(c_uint64))
        f["FinishWriting"] = _declare(access, "FinishWriting", c_uint32, content, errors,
                                      POINTER(c_uint64))
        f["CloseUnfinished"] = _declare(access, "CloseUnfinished", None, content)
        f["FreeContent"] = _declare(access, "FreeContent", None, content)
        f["FreeErrors"] = _declare(access, "FreeErrors", None, POINTER(R.MF4Error), c_uint64)
        f["FreeStrings"] = _declare(access, "FreeStrings", None, c_void_p, c_uint64, c_uint8)
        f["ConversionYields"] = _declare(convert, "MF4ConversionYields", c_uint32, content,
                                         c_int64, POINTER(c_uint32))
        f["ConvertNumbers"] = _declare(convert, "MF4ConvertNumbers", c_uint32, content, c_int64,
                                       c_uint32, c_void_p, c_uint64, c_void_p)
        f["ConvertTexts"] = _declare(convert, "MF4ConvertTexts", c_uint32, content, c_int64,
                                     c_uint32, c_void_p, c_uint64, c_void_p,
                                     POINTER(c_void_p))
        f["FreeConvertedTexts"] = _declare(convert, "MF4FreeConvertedTexts", None, c_void_p)
        self._access = access


lib = _Libraries()

_PAGE = 4096


def wide_text(address):
    """The UTF-16 text at `address` as str; None for a null pointer.

    The text is copied in pieces that never cross a page boundary past the terminator: a page
    that holds part of the text is mapped, the next one may not be.
    """
    if not address:
        return None
    parts = []
    while True:
        size = min(_PAGE - address % _PAGE, 512)
        size -= size % 2
        if size == 0:  # an odd address one byte before a page end
            size = 2
        chunk = ctypes.string_at(address, size)
        end = chunk.find(b"\0\0")
        while end >= 0 and end % 2:
            end = chunk.find(b"\0\0", end + 1)
        if end >= 0:
            parts.append(chunk[:end])
            return b"".join(parts).decode("utf-16-le", "replace")
        parts.append(chunk)
        address += size


class WideTexts:
    """UTF-16 copies of Python texts that stay put as long as this object lives."""

    def __init__(self):
        self._kept = []

    def add(self, text):
        """The address of a terminated UTF-16 copy of `text`; None (absent) for None or ""."""
        if text is None or text == "":
            return None
        data = ctypes.create_string_buffer(str(text).encode("utf-16-le") + b"\0\0")
        self._kept.append(data)
        return ctypes.addressof(data)

    def keep(self, thing):
        """Keeps any buffer alive as long as the texts."""
        self._kept.append(thing)
        return thing


class CallFindings:
    """The findings out-parameters of one call, decoded and released at once."""

    def __init__(self):
        self.array = POINTER(R.MF4Error)()
        self.count = c_uint64(0)

    def args(self):
        return ctypes.byref(self.array), ctypes.byref(self.count)

    def take(self):
        findings = []
        if self.array:
            for i in range(self.count.value):
                e = self.array[i]
                findings.append(Finding(e.messageId, "warning" if e.severity else "error",
                                        wide_text(e.message) or "",
                                        (wide_text(e.detail1), wide_text(e.detail2))))
            lib.FreeErrors(self.array, self.count.value)
        self.array = POINTER(R.MF4Error)()
        self.count = c_uint64(0)
        return findings


def call(function, *arguments, what):
    """Calls a library function that reports findings: (result, findings). Raises Mf4Error
    carrying the findings when the result is 2; warnings and errors of a call that did not
    fail come back only as findings."""
    out = CallFindings()
    result = function(*arguments, *out.args())
    findings = out.take()
    if result == ERRORS:
        raise Mf4Error(what, findings)
    return result, findings
