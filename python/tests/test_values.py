"""Values through write and read, set against numpy and against the mf4 tool of the same build."""
import numpy as np
import pandas as pd

import tarvik_mf4 as mf4

from conftest import cell_matches, dump_tables, run_tool

NUMBER_DTYPES = ["i1", "u1", "i2", "u2", "i4", "u4", "i8", "u8", "f4", "f8"]


def generated_columns(rng, n):
    """One column of every kind the writer knows, with each number type's extremes."""
    columns = {"time": np.cumsum(rng.uniform(0.001, 0.01, n))}
    for code in NUMBER_DTYPES:
        dtype = np.dtype(code)
        if dtype.kind == "f":
            v = rng.normal(0, 1e3, n).astype(dtype)
            v[:4] = [np.nan, np.inf, -np.inf, np.finfo(dtype).max]
        else:
            info = np.iinfo(dtype)
            v = rng.integers(info.min, info.max, n, dtype=dtype, endpoint=True)
            v[:2] = [info.min, info.max]
        columns[code] = v
    columns["grid"] = rng.integers(-99, 99, (n, 2, 3)).astype(np.int16)
    columns["cube"] = rng.normal(size=(n, 2, 2, 2))
    texts = ["", "ä€😀", "line\nbreak"] + [f"v{i}" * (i % 7) for i in range(n - 3)]
    columns["text"] = np.array(texts, dtype=object)
    columns["blob"] = np.array([rng.bytes(i % 9) for i in range(n)], dtype=object)
    columns["fixed"] = np.array([rng.bytes(5) for _ in range(n)], dtype="V5")
    return columns


def same(read, written):
    if written.dtype.kind == "V":
        return list(read) == [bytes(x) for x in written]
    if written.dtype == object:
        return list(read) == list(written)
    return read.dtype == written.dtype and np.array_equal(read, written, equal_nan=True)


def test_every_kind_round_trips_by_batches_ranges_and_frames(tmp_path):
    rng = np.random.default_rng(7)
    for case, (n, batch) in enumerate([(4, 1), (37, 5), (1000, 333)]):
        columns = generated_columns(rng, n)
        path = tmp_path / f"kinds{case}.mf4"
        mf4.write(path, columns, batch=batch, units={"f8": "V", "time": "ms"})
        t0, t1 = np.sort(rng.choice(columns["time"], 2))
        with mf4.open(path) as f:
            assert f.findings == []
            assert [g.records for g in f.groups] == [n]
            assert f.channel("f8").unit == "V" and f.groups[0].master_unit == "ms"
            t, values = f.read_group(0)
            assert same(t, columns["time"])
            for name, written in columns.items():
                if name != "time":
                    assert same(values[name], written), name
            inside = (columns["time"] >= t0) & (columns["time"] <= t1)
            for name in ["i2", "text", "grid"]:
                t, v = f.read(name, start=t0, end=t1)
                assert same(t, columns["time"][inside]) and same(v, columns[name][inside])
            first, count = n // 3, max(n // 4, 1)
            t, v = f.read("u8", first=first, count=count)
            assert same(v, columns["u8"][first:first + count])
            frame = f.to_pandas(0)
        assert np.array_equal(frame.index.to_numpy(), columns["time"])
        assert np.array_equal(frame["grid[1][2]"].to_numpy(), columns["grid"][:, 1, 2])
        assert np.array_equal(frame["f4"].to_numpy(), columns["f4"], equal_nan=True)
        assert list(frame["text"]) == list(columns["text"])


def test_frames_and_streams_write_what_they_are_given(tmp_path):
    frame = pd.DataFrame({"speed": [1.5, 2.5, 4.0], "gear": np.array([1, 2, 3], np.int8),
                          "state": ["idle", "drive", "drive"]},
                         index=pd.Index([0.0, 0.5, 1.0], name="t"))
    mf4.write(tmp_path / "frame.mf4", frame, units={"speed": "km/h"},
              comments={"gear": "selected gear"}, comment="bench run",
              properties={"driver": "A. Tester", "laps": 3, "dry": True})
    with mf4.open(tmp_path / "frame.mf4") as f:
        back = f.to_pandas(0)
        assert f.header.comment == "bench run"
        assert f.header.properties == {"driver": "A. Tester", "laps": 3, "dry": True}
        assert f.channel("gear").comment == "selected gear"
    assert back.index.to_list() == [0.0, 0.5, 1.0]
    pd.testing.assert_frame_equal(back.reset_index(drop=True), frame.reset_index(drop=True))

    path = tmp_path / "stream.mf4"
    with mf4.create(path, {"p": ("f4", (2,)), "name": "utf-16", "raw": "bytes"}) as w:
        for k in range(3):
            w.write_batch(time=[2.0 * k, 2.0 * k + 1], p=np.full((2, 2), k, np.float32),
                          name=[f"n{k}", "ü"], raw=[bytes([k]), b""])
    with mf4.open(path) as f:
        t, p = f.read("p")
        assert t.tolist() == [0, 1, 2, 3, 4, 5] and p[:, 1].tolist() == [0, 0, 1, 1, 2, 2]
        assert f.read("name")[1].tolist() == ["n0", "ü", "n1", "ü", "n2", "ü"]
        assert f.read("raw")[1].tolist() == [b"\0", b"", b"\1", b"", b"\2", b""]


def test_demo_file_reads_as_the_tool_shows_it(tmp_path, mf4_tool):
    path = tmp_path / "demo.mf4"
    run_tool(mf4_tool, "demo", path)
    with mf4.open(path) as f:
        gear = f.channel("gear")
        assert gear.conversion.kind == "value to text" and gear.conversion.yields == "texts"
        assert [(e.type, e.time, e.name) for e in f.events] == [
            ("marker", 4.2, "overtake"), ("trigger", 7.5, "hard braking")]
        notes = f.attachments[0]
        assert notes.file_name == "drive_notes.txt" and len(notes.data) == notes.size > 0
        assert f.header.properties["odometer"] == 12345.6 and len(f.history) == 1
        for group in f.groups:
            names = [c.name for c in group.channels]
            for raw in (False, True):
                args = ["--group", group.index, "--from", 10, "--count", 25] + ["--raw"] * raw
                rows = dump_tables(run_tool(mf4_tool, "dump", path, *args))[0][1:]
                t, values = f.read_group(group.index, first=10, count=25, raw=raw)
                assert len(rows) == len(t) == 25
                for r, row in enumerate(rows):
                    assert cell_matches(row[0], t[r])
                    for cell, name in zip(row[1:], names):
                        assert cell_matches(cell, values[name][r]), (name, cell, values[name][r])


def test_time_ranges_and_buckets_agree_with_the_tool(tmp_path, mf4_tool):
    n = 20_000
    rng = np.random.default_rng(3)
    time = np.arange(n) * 1e-3
    signal = np.cumsum(rng.normal(size=n)).astype(np.float32)
    counts = rng.integers(0, 4096, n).astype(np.uint16)
    for reduction in (False, True):
        path = tmp_path / f"signal{reduction}.mf4"
        mf4.write(path, {"time": time, "signal": signal, "counts": counts}, reduction=reduction,
                  batch=4000)
        with mf4.open(path) as f:
            for start, end in [(1.2345, 1.5), (0, 0.0005), (19.9, 25)]:
                rows = dump_tables(run_tool(mf4_tool, "dump", path, "--channel", "signal",
                                            "--start", start, "--end", end, "--all"))[0][1:]
                t, v = f.read("signal", start=start, end=end)
                assert len(rows) == len(t)
                assert all(cell_matches(a, x) and cell_matches(b, y)
                           for (a, b), x, y in zip(rows, t, v))
            for method, buckets, (start, end) in [("minmax", 7, (0.5, 18.0)),
                                                  ("mean", 3, (0, 19.999)),
                                                  ("max", 1000, (0, 19.999)), ("min", 13, (2, 9))]:
                width = (end - start) / buckets
                tables = dump_tables(run_tool(
                    mf4_tool, "dump", path, "--channel", "counts", "--bucket-time", repr(width),
                    "--start", start, "--end", end, "--method", method, "--all"))
                t, v = f.read("counts", start=start, end=end, buckets=buckets, method=method)
                rows = tables[0][1:]
                assert 0 < len(rows) == len(t)
                assert all(cell_matches(a, x) and cell_matches(b, y)
                           for (a, b), x, y in zip(rows, t, v))
                if method != "mean":
                    inside = (time >= start) & (time <= end)
                    reduce = {"minmax": np.minimum, "min": np.minimum, "max": np.maximum}[method]
                    assert reduce.reduce(v) == reduce.reduce(counts[inside])
            t, v = f.read("signal", first=100, count=1000, buckets=10, method="minmax")
            rows = dump_tables(run_tool(mf4_tool, "dump", path, "--channel", "signal",
                                        "--from", 100, "--count", 1000, "--buckets", 100,
                                        "--method", "minmax", "--all"))[0][1:]
            assert len(rows) == len(t) and all(
                cell_matches(a, x) and cell_matches(b, y) for (a, b), x, y in zip(rows, t, v))
