"""Many files at once on Dask: one task per file, each opening its file where it runs.

The tasks take paths, never open files, so they travel to any worker (processes of a
dask.distributed cluster, or threads of the local scheduler); the libraries release the
interpreter lock while they read, so threads read in parallel too. Whatever scheduler is
active runs them: a Client's cluster when one exists, else Dask's default.
"""
import os

import dask
import numpy as np
import pandas as pd

from ._file import File

STAT_COLUMNS = ["file", "channel", "count", "min", "max", "mean"]


# Records per ReadData of the statistics: float64 buffers of 128 kB, below the size at which
# malloc maps fresh pages for each array (a Dask worker hands freed memory back at once),
# reused piece after piece, so that a worker's memory stays flat whatever the file's length.
PIECE_RECORDS = 16_000


def _file_stats(path, channels, raw):
    """Rows of STAT_COLUMNS for one file: NaN values are left out of every figure; a channel
    the file lacks, or with no values, counts 0 with NaN figures."""
    path = os.fspath(path)
    figures = {name: [0, np.inf, -np.inf, 0.0] for name in channels}  # count, min, max, sum
    with File(path) as f:
        groups = {}
        for name in channels:
            try:
                groups.setdefault(f.channel(name).group, []).append(name)
            except KeyError:
                pass
        for group, names in groups.items():
            for _, values in f._pieces(group, names, PIECE_RECORDS, raw):
                for name in names:
                    v = np.asarray(values[name], dtype=np.float64).reshape(-1)
                    low = v.min(initial=np.inf)
                    if np.isnan(low):  # a NaN makes the minimum NaN: only then are they taken out
                        v = v[~np.isnan(v)]
                        low = v.min(initial=np.inf)
                    if v.size:
                        total = figures[name]
                        total[0] += v.size
                        total[1] = min(total[1], low)
                        total[2] = max(total[2], v.max())
                        total[3] += v.sum()
    rows = []
    for name in channels:
        count, low, high, total = figures[name]
        rows.append((path, name, count) + ((low, high, total / count) if count
                                            else (np.nan, np.nan, np.nan)))
    return rows


def channel_stats(paths, channels, *, raw=False):
    """count, min, max and mean of each channel in each file, as a DataFrame with one row per
    (file, channel) in the order given. Physical values unless `raw`; channels must hold
    numbers."""
    channels = list(channels)
    tasks = [dask.delayed(_file_stats)(os.fspath(p), channels, raw) for p in paths]
    rows = [row for rows in dask.compute(*tasks) for row in rows]
    frame = pd.DataFrame(rows, columns=STAT_COLUMNS)
    return frame.astype({"count": np.int64})


def fleet_stats(stats):
    """Per channel over all files: the combined count, min, max and mean of channel_stats rows."""
    weighted = stats.assign(total=stats["mean"].fillna(0) * stats["count"])
    per = weighted.groupby("channel", sort=False).agg(
        count=("count", "sum"), min=("min", "min"), max=("max", "max"), total=("total", "sum"),
        files=("file", "nunique"))
    per["mean"] = per["total"] / per["count"].where(per["count"] > 0)
    return per[["files", "count", "min", "max", "mean"]]


def _file_frame(path, channels, raw, meta):
    with File(path) as f:
        groups = {f.channel(name).group for name in channels}
        if len(groups) != 1:
            raise ValueError(f"{path}: the channels {channels} lie in several groups")
        frame = f.to_pandas(groups.pop(), channels, raw=raw)
    frame.insert(0, "file", path)
    return frame[meta.columns].astype(meta.dtypes.to_dict())


def read_channels(paths, channels, *, raw=False):
    """A dask DataFrame of the channels (all of one group in each file), one partition per
    file, indexed by the master values and with a "file" column. The columns' kinds come from
    the first file, which is opened here once to learn them."""
    import dask.dataframe as dd
    paths = [os.fspath(p) for p in paths]
    channels = list(channels)
    if not paths:
        raise ValueError("no files given")
    with File(paths[0]) as f:
        group = f.channel(channels[0]).group
        sample = f.to_pandas(group, channels, raw=raw, first=0, count=1)
    sample.insert(0, "file", paths[0])
    meta = sample.iloc[:0]
    parts = [dask.delayed(_file_frame)(p, channels, raw, meta) for p in paths]
    return dd.from_delayed(parts, meta=meta, verify_meta=False)
