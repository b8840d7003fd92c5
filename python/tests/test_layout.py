"""The ctypes records against what a C compiler makes of TarvikMF4Access.h: every record's
size and every field's offset."""
import ctypes
import shutil
import subprocess

import pytest

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
