"""The package as a user gets it: its ctypes records against what a C compiler makes of
TarvikMF4Access.h, and an offline install that finds its libraries beside itself."""
import ctypes
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import tarvik_mf4._library as library
from tarvik_mf4 import _records as R

from conftest import REPO


def test_every_record_and_field_lies_where_the_header_puts_it(tmp_path):
    compiler = shutil.which("cc") or shutil.which("gcc")
    if compiler is None:
        pytest.skip("no C compiler")
    lines, expected = [], []
    for record in R.RECORDS:
        name = record.__name__
        lines.append(f'printf("%zu\\n", sizeof({name}));')
        expected.append((name, ctypes.sizeof(record)))
        for field, _ in record._fields_:
            lines.append(f'printf("%zu\\n", offsetof({name}, {field}));')
            expected.append((f"{name}.{field}", getattr(record, field).offset))
    source = tmp_path / "layout.c"
    source.write_text("#include <stdio.h>\n#include <stddef.h>\n#include \"TarvikMF4Access.h\"\n"
                      "int main(void) {\n" + "\n".join(lines) + "\nreturn 0;\n}\n")
    program = tmp_path / "layout"
    subprocess.run([compiler, "-std=c11", "-I", str(REPO / "include"), str(source), "-o",
                    str(program)], check=True)
    measured = subprocess.run([str(program)], capture_output=True, text=True,
                              check=True).stdout.split()
    assert len(measured) == len(expected)
    wrong = [(what, mine, int(c)) for (what, mine), c in zip(expected, measured) if mine != int(c)]
    assert wrong == []


def test_offline_install_carries_the_libraries(tmp_path):
    source = tmp_path / "source"
    shutil.copytree(REPO / "python", source, ignore=shutil.ignore_patterns(
        "tests", "build", "*.egg-info", "__pycache__"))
    libraries = Path(library.lib.access_path).resolve().parent
    env = {k: v for k, v in os.environ.items() if not k.startswith("TARVIK_MF4")}
    subprocess.run([sys.executable, "-m", "pip", "install", "--quiet", "--no-build-isolation",
                    "--no-index", "--no-deps", "--target", str(tmp_path / "site"), str(source)],
                   check=True, env=dict(env, TARVIK_MF4_LIB_DIR=str(libraries)), cwd=tmp_path)
    check = ("import tarvik_mf4 as mf4, tarvik_mf4._library as l, numpy as np, sys; "
             "mf4.write(sys.argv[1], {'x': np.arange(3.0)}); f = mf4.open(sys.argv[1]); "
             "print(l.lib.access_path.parent.name, f.read('x')[1].tolist())")
    done = subprocess.run([sys.executable, "-c", check, str(tmp_path / "x.mf4")], check=True,
                          capture_output=True, text=True,
                          env=dict(env, PYTHONPATH=str(tmp_path / "site")), cwd=tmp_path)
    assert done.stdout.split() == ["tarvik_mf4", "[0.0,", "1.0,", "2.0]"]


def test_readme_examples_run_as_written(tmp_path):
    readme = (REPO / "README.md").read_text()
    section = readme.split("\n## Python\n", 1)[1].split("\n## ", 1)[0]
    blocks = section.split("```python\n")[1:]
    assert len(blocks) == 2
    env = dict(os.environ, PYTHONPATH=str(REPO / "python"))
    for number, block in enumerate(blocks):
        script = tmp_path / f"example{number}.py"
        script.write_text(block.split("```", 1)[0])
        done = subprocess.run([sys.executable, str(script)], capture_output=True, text=True,
                              env=env, cwd=tmp_path, timeout=120)
        assert done.returncode == 0, done.stderr
    assert (tmp_path / "out.mf4").is_file() and (tmp_path / "car3.mf4").is_file()
