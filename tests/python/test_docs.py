"""Every example of docs/python.md runs as written: the Python blocks in a fresh interpreter
(beside the examples folder), each printing what the text block after it shows; the plot block
writes its PNG; the shell line of the import runs from the checkout."""

import os
import re
import subprocess

import pytest

DOC = os.path.join(os.path.dirname(__file__), "..", "..", "docs", "python.md")


def blocks():
    """(language, code, the text block right after it or None)."""
    found = re.findall(r"```(\w+)\n(.*?)```", open(DOC).read(), re.S)
    out = []
    for k, (language, code) in enumerate(found):
        following = found[k + 1] if k + 1 < len(found) else None
        if language in ("python", "sh"):
            shown = following[1] if following and following[0] == "text" else None
            out.append((language, code, shown))
    return out


PYTHON_BLOCKS = [b for b in blocks() if b[0] == "python"]


def test_the_doc_has_its_examples():
    assert len(PYTHON_BLOCKS) >= 4
    assert any("matplotlib" in code and ".png" in code for _, code, _ in PYTHON_BLOCKS)
    assert any("pandas" in code for _, code, _ in PYTHON_BLOCKS)


@pytest.mark.parametrize("code,shown", [(c, s) for _, c, s in PYTHON_BLOCKS],
                         ids=[f"block{k + 1}" for k in range(len(PYTHON_BLOCKS))])
def test_python_block(run_python, source, tmp_path, code, shown):
    os.symlink(os.path.join(source, "examples"), tmp_path / "examples")
    out = run_python(code, cwd=str(tmp_path))
    assert out.returncode == 0, out.stderr
    if shown is not None:
        assert out.stdout == shown
    for png in re.findall(r'savefig\("([^"]+\.png)"', code):
        with open(tmp_path / png, "rb") as f:
            assert f.read(8) == b"\x89PNG\r\n\x1a\n"
        assert os.path.getsize(tmp_path / png) > 5000


def test_the_shell_line_of_the_import(source):
    (line,) = [code for language, code, _ in blocks() if language == "sh"]
    out = subprocess.run(["bash", "-c", line], capture_output=True, text=True, cwd=source)
    assert out.returncode == 0, out.stderr
    assert out.stdout.startswith("Dec(hkl=(2, 1, 1), d=1.17003960046943")
