#!/usr/bin/python3
"""Statistics of a fleet of recordings on a local Dask cluster.

Writes 50 small MDF 4 files with tarvik_mf4 (one per vehicle: engine speed and vehicle speed
at 10 Hz for two minutes, each vehicle driving a little differently), then computes count,
minimum, maximum and mean of both channels in every file on a cluster of 2 worker processes,
one task per file, and prints them per channel across the fleet. The same code runs on any
Dask cluster: only the Client changes.

Usage: examples/fleet_stats.py [FOLDER]   (default: a temporary folder, removed afterwards)
"""
import sys
import tempfile
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))
import tarvik_mf4 as mf4  # noqa: E402


def make_fleet(folder, vehicles=50, seconds=120, rate_hz=10):
    rng = np.random.default_rng(2024)
    time = np.arange(seconds * rate_hz) / rate_hz
    paths = []
    for vehicle in range(vehicles):
        cruise = rng.uniform(60, 130)  # km/h this driver likes
        speed = np.clip(cruise * (1 - np.exp(-time / 15)) + rng.normal(0, 2, time.size), 0, None)
        rpm = 800 + speed * rng.uniform(25, 35) + rng.normal(0, 30, time.size)
        path = Path(folder) / f"vehicle_{vehicle:02}.mf4"
        mf4.write(path, {"time": time, "EngineSpeed": rpm.astype(np.float32),
                         "VehicleSpeed": speed},
                  units={"EngineSpeed": "rpm", "VehicleSpeed": "km/h"},
                  comment=f"test drive of vehicle {vehicle}", batch=400)
        paths.append(path)
    return paths


def main(folder):
    from dask.distributed import Client, LocalCluster
    import tarvik_mf4.dask as mdd

    paths = make_fleet(folder)
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster):
        stats = mdd.channel_stats(paths, ["EngineSpeed", "VehicleSpeed"])
    print(f"{len(paths)} files in {folder}")
    print(mdd.fleet_stats(stats).to_string(float_format=lambda x: f"{x:.2f}"))
    fastest = stats[stats.channel == "VehicleSpeed"].nlargest(3, "max")
    print("\nfastest vehicles:")
    print(fastest.assign(file=fastest.file.map(lambda p: Path(p).name))
          .to_string(index=False, float_format=lambda x: f"{x:.2f}"))


if __name__ == "__main__":
    if len(sys.argv) > 1:
        Path(sys.argv[1]).mkdir(parents=True, exist_ok=True)
        main(sys.argv[1])
    else:
        with tempfile.TemporaryDirectory() as temporary:
            main(temporary)
