"""Shared pieces of the Python suite: the mf4 tool of the same build, its dump tables parsed,
the corpus folder, and a clean Dask cluster."""
import os
import re
import subprocess
from pathlib import Path

import numpy as np
import pytest

import tarvik_mf4._library as library

REPO = Path(__file__).resolve().parents[2]
CORPUS = REPO.parent / "shared" / "corpus"


def tool_path():
    """The mf4 tool beside the library under test (bin/ next to lib/ in a build tree)."""
    if os.environ.get("TARVIK_MF4_TOOL"):
        return Path(os.environ["TARVIK_MF4_TOOL"])
    return Path(library.lib.access_path).resolve().parent.parent / "bin" / "mf4"


@pytest.fixture(scope="session")
def mf4_tool():
    path = tool_path()
    if not path.is_file():
        pytest.skip(f"no mf4 tool at {path}")
    return path


def run_tool(tool, *args):
    done = subprocess.run([str(tool), *map(str, args)], capture_output=True, text=True,
                          timeout=60)
    assert done.returncode == 0, done.stderr
    return done.stdout


def flat(text):
    """A text on one line as the tool prints it: control characters as one space, trimmed."""
    return re.sub(r"[\x00-\x1f\x7f]+", " ", text or "").strip(" ")


def dump_tables(text, titles=None):
    """`mf4 dump` output as tables: each a list of rows of cells, the titles first. Columns
    start where the titles start: those given after the first column's, else the runs of text
    set apart by two spaces or more."""
    tables = []
    for block in text.strip("\n").split("\n\n"):
        lines = block.split("\n")
        if titles is None:
            starts = [m.start() for m in re.finditer(r"\S+(?: \S+)*", lines[0])]
        else:
            starts = [0]
            for title in titles:
                starts.append(lines[0].index(title, starts[-1] + 1))
        bounds = list(zip(starts, starts[1:] + [None]))
        tables.append([[line[a:b].strip() for a, b in bounds] for line in lines])
    return tables


def cell_matches(cell, value):
    """Whether a printed cell says `value` (a number of its dtype, str, bytes or an array)."""
    if isinstance(value, np.ndarray):
        cells = cell.strip("[]").split(" ")
        return len(cells) == value.size and all(
            cell_matches(c, v) for c, v in zip(cells, value.reshape(-1)))
    if isinstance(value, str):
        inner = cell[1:-1] if cell.startswith('"') else cell
        return inner.replace('\\"', '"').replace("\\\\", "\\") == value
    if isinstance(value, bytes):
        return cell == value.hex()
    if isinstance(value, (np.integer, int)):
        return int(cell) == value
    expected = np.asarray(value)
    printed = np.asarray(float(cell)).astype(expected.dtype)
    return bool(printed == expected or (np.isnan(printed) and np.isnan(expected)))


@pytest.fixture(scope="module")
def cluster():
    distributed = pytest.importorskip("dask.distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as local, \
            distributed.Client(local) as client:
        yield client
