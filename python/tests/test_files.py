"""Real files of other writers, set against the mf4 tool, and input that must give a clear
exception rather than values or a crash."""
import numpy as np
import pytest

import tarvik_mf4 as mf4

from conftest import CORPUS, cell_matches, dump_tables, flat, run_tool

CORPUS_FILES = sorted(p for p in CORPUS.glob("*") if p.suffix.lower() == ".mf4") \
    if CORPUS.is_dir() else []


@pytest.mark.skipif(not CORPUS_FILES, reason="corpus absent")
@pytest.mark.filterwarnings("ignore:.*is not supported; raw values given")
def test_corpus_first_and_last_values_are_those_the_tool_prints(mf4_tool):
    compared = 0
    for path in CORPUS_FILES:
        try:
            f = mf4.open(path)
        except mf4.Mf4Error as error:
            assert "unsorted" in path.name and error.findings, path  # rejected, with reasons
            continue
        with f:
            for group in f.groups:
                names = [c.name for c in group.channels]
                # The tool picks the first of a name; it cannot size variable-length bytes.
                chosen = [c.name for c in group.channels if names.count(c.name) == 1 and not
                          c.member_path and not (c.kind == "bytes" and c.variable_length)]
                if group.records == 0 or not chosen:
                    continue
                for first in {0, group.records - 1}:
                    out = run_tool(mf4_tool, "dump", path, "--group", group.index, "--from", first,
                                   "--count", 1, *[a for n in chosen for a in ("--channel", n)])
                    titles = [flat(n) + (f" [{flat(f.channel(n).unit)}]" if flat(f.channel(n).unit)
                                         else "") for n in chosen]
                    row = dump_tables(out, titles)[0][1]
                    t, values = f.read_group(group.index, chosen, first=first, count=1)
                    if group.master_dtype is not None:
                        assert cell_matches(row[0], t[0]), (path.name, group.index)
                    for cell, name in zip(row[1:], chosen):
                        assert cell_matches(cell, values[name][0]), (path.name, name, cell)
                        compared += 1
    assert compared > 100


@pytest.mark.skipif(not CORPUS_FILES, reason="corpus absent")
@pytest.mark.filterwarnings("ignore:.*is not supported; raw values given")
def test_structure_members_are_the_bits_of_their_structure():
    checked = 0
    for name in ["CANedge_finalized.MF4", "asammdf_demo_arrays_vlsd.mf4"]:
        with mf4.open(CORPUS / name) as f:
            for ch in f.channels:
                if ch.kind != "structure" or ch.member_path:
                    continue
                records = next(iter(f.read_group(ch.group, [ch], raw=True)[1].values()))
                start = f._record_of(ch).byteOffset
                members = [m for m in f.groups[ch.group].channels if m.index == ch.index and
                           len(m.member_path) == 1 and m.kind == "integer" and not m.shape]
                _, values = f.read_group(ch.group, members, raw=True)
                for m, v in zip(members, values.values()):
                    r = f._record_of(m)
                    # Member offsets count from the record's start, the structure's bytes from
                    # its own position.
                    width, low = (r.bitOffset + r.bitCount + 7) // 8, r.byteOffset - start
                    raw = [int.from_bytes(b[low:low + width], "little") >> r.bitOffset
                           & ((1 << r.bitCount) - 1) for b in records]
                    if m.dtype.kind == "i":
                        raw = [x - (1 << r.bitCount) if x >> (r.bitCount - 1) else x for x in raw]
                    assert v.tolist() == raw, (name, m.name)
                    checked += 1
    assert checked >= 10


def test_bad_input_gives_exceptions_that_name_the_problem(tmp_path):
    with pytest.raises(mf4.Mf4Error, match="nowhere.mf4") as missing:
        mf4.open(tmp_path / "nowhere.mf4")
    assert missing.value.findings
    text = tmp_path / "notes.mf4"
    text.write_text("not a measurement, " * 50)
    with pytest.raises(mf4.Mf4Error, match="notes.mf4"):
        mf4.open(text)

    path = tmp_path / "good.mf4"
    mf4.write(path, {"time": np.arange(5.0), "speed": np.arange(5.0), "state": ["a"] * 5})
    with mf4.open(path) as f:
        with pytest.raises(KeyError, match="'speeed'"):
            f.read("speeed")
        with pytest.raises(TypeError, match="'state'"):
            f.read("state", buckets=2)
        with pytest.raises(ValueError, match="method"):
            f.read("speed", buckets=2, method="median")
    with pytest.raises(ValueError, match="closed"):
        f.read("speed")

    with pytest.raises(TypeError, match="'speed' takes float32 values, got dtype float64"):
        with mf4.create(tmp_path / "typed.mf4", {"speed": "float32"}) as w:
            w.write_batch(time=[0.0], speed=np.array([1.0]))
    with pytest.raises(TypeError, match="'label' takes str values, got int 3"):
        with mf4.create(tmp_path / "texts.mf4", {"label": "str"}) as w:
            w.write_batch(time=[0.0, 1.0], label=["x", 3])
    with pytest.raises(TypeError, match="'mixed' mixes kinds"):
        mf4.write(tmp_path / "mixed.mf4", {"mixed": np.array(["x", 1], dtype=object)})
    assert not (tmp_path / "mixed.mf4").exists()
    with pytest.raises(mf4.Mf4Error, match="no_such_dir"):
        mf4.write(tmp_path / "no_such_dir" / "x.mf4", {"a": np.arange(3)})


def test_a_write_that_stops_halfway_leaves_no_file(tmp_path, monkeypatch):
    batches = []
    def second_fails(writer, data):
        batches.append(len(data["a"]))
        if len(batches) == 2:
            raise KeyboardInterrupt
        writer.finish_batch(data)
    monkeypatch.setattr(mf4.Writer, "finish_batch", mf4.Writer.write_batch, raising=False)
    monkeypatch.setattr(mf4.Writer, "write_batch", second_fails)
    with pytest.raises(KeyboardInterrupt):
        mf4.write(tmp_path / "cut.mf4", {"a": np.arange(10.0)}, batch=4)
    assert batches == [4, 4] and not (tmp_path / "cut.mf4").exists()


def test_files_cut_short_read_what_they_hold_or_fail_cleanly(tmp_path):
    whole = tmp_path / "whole.mf4"
    mf4.write(whole, {"time": np.arange(3000.0), "a": np.arange(3000, dtype=np.int32),
                      "s": [f"x{i}" for i in range(3000)]}, batch=500)
    data = whole.read_bytes()
    for size in range(0, len(data), max(len(data) // 40, 1)):
        cut = tmp_path / "cut.mf4"
        cut.write_bytes(data[:size])
        try:
            f = mf4.open(cut)
        except mf4.Mf4Error:
            continue
        with f:
            for group in f.groups:
                t, values = f.read_group(group.index)
                assert np.array_equal(values["a"], np.arange(len(values["a"]), dtype=np.int32))
                assert len(values["s"]) <= len(t) <= 3000
