"""Statistics and frames over several files, on a 2-process local cluster and on Dask's own
scheduler, against numpy on the same values."""
import numpy as np
import pytest

import tarvik_mf4 as mf4

mdd = pytest.importorskip("tarvik_mf4.dask")


@pytest.fixture(scope="module")
def fleet(tmp_path_factory):
    folder = tmp_path_factory.mktemp("fleet")
    rng = np.random.default_rng(11)
    files = []
    for i in range(5):
        n = 500 + 250 * i
        speed = rng.normal(50, 20, n)
        speed[rng.integers(0, n, 3)] = np.nan  # gaps the statistics must leave out
        columns = {"time": np.arange(n) * 0.01, "speed": speed,
                   "rpm": rng.integers(0, 7000, n).astype(np.uint16)}
        if i == 3:
            del columns["rpm"]  # a file without the channel
        path = folder / f"car{i}.mf4"
        mf4.write(path, columns, batch=300)
        files.append((str(path), columns))
    return files


def expected_rows(fleet):
    rows = []
    for path, columns in fleet:
        for name in ["speed", "rpm"]:
            v = columns.get(name, np.array([], float)).astype(float)
            v = v[~np.isnan(v)]
            rows.append((path, name, v.size) + ((v.min(), v.max(), v.mean()) if v.size
                                                 else (np.nan,) * 3))
    return rows


def check(stats, fleet):
    got = list(stats.itertuples(index=False, name=None))
    want = expected_rows(fleet)
    assert [r[:3] for r in got] == [r[:3] for r in want]
    np.testing.assert_allclose(np.array([r[3:] for r in got]), np.array([r[3:] for r in want]),
                               rtol=1e-12)


def test_statistics_without_a_cluster_in_small_pieces(fleet, monkeypatch):
    import dask
    monkeypatch.setattr(mdd, "PIECE_RECORDS", 97)  # many pieces a file, the last one short
    with dask.config.set(scheduler="threads"):
        check(mdd.channel_stats([p for p, _ in fleet], ["speed", "rpm"]), fleet)


def test_statistics_and_frames_on_a_cluster_equal_numpy(fleet, cluster):
    paths = [p for p, _ in fleet]
    stats = mdd.channel_stats(paths, ["speed", "rpm"])
    check(stats, fleet)
    overall = mdd.fleet_stats(stats)
    every = np.concatenate([c["speed"] for _, c in fleet])
    assert overall.loc["speed", "count"] == np.count_nonzero(~np.isnan(every))
    assert np.isclose(overall.loc["speed", "mean"], np.nanmean(every))
    assert overall.loc["rpm", "max"] == max(c["rpm"].max() for _, c in fleet if "rpm" in c)

    frame = mdd.read_channels(paths, ["speed"])
    assert frame.npartitions == len(paths)
    local = frame.compute()
    assert np.array_equal(local["speed"].to_numpy(), every, equal_nan=True)
    assert local.groupby("file").size().to_dict() == {p: len(c["time"]) for p, c in fleet}
