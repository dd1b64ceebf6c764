"""The README's Python examples run as written."""

import re
from pathlib import Path

import numpy as np
import pytest

ROOT = Path(__file__).resolve().parents[2]
README = ROOT / "README.md"


def python_examples():
    text = README.read_text()
    section = text[text.index("\n## Python\n"):]
    section = section[:section.index("\n## ", 1)]
    return re.findall(r"```python\n(.*?)```", section, re.S)


@pytest.mark.parametrize("index", range(2))
def test_readme_example_runs(index, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    namespace = {}
    exec(compile(python_examples()[index], f"README example {index + 1}", "exec"), namespace)
    if index == 0:
        import PIL.Image

        # Grey 128 in video range is a little lighter in full-range RGB.
        with PIL.Image.open(tmp_path / "frame.png") as png:
            assert png.mode == "RGB" and png.size == (640, 480)
            assert (np.asarray(png) == 130).all()
    else:
        assert namespace["image"].shape == (480, 640) and namespace["limiter"].used == 0

