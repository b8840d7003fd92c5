"""tarvik_mf4: ASAM MDF 4 measurement files in Python, over the C interface of
libTarvikMF4Access (ctypes) with physical values from libTarvikMF4Convert.

    import tarvik_mf4 as mf4
    with mf4.open("drive.mf4") as f:
        t, v = f.read("EngineSpeed")
    mf4.write("out.mf4", frame, units={"EngineSpeed": "rpm"})

tarvik_mf4.dask spreads reads of many files over a Dask cluster.
"""
from ._file import Attachment, Channel, Conversion, Event, File, Group, Header, HistoryEntry, open
from ._library import Finding, Mf4Error
from ._writer import Writer, create, write

__all__ = ["open", "write", "create", "File", "Writer", "Mf4Error", "Finding", "Channel",
           "Group", "Conversion", "Event", "Attachment", "Header", "HistoryEntry"]
