"""The README's Python examples run as written, and type-check under mypy --strict."""

import os
import re
import subprocess
import sys
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


def test_readme_examples_pass_mypy_strict(tmp_path):
    # The package from its sources, stub and all, so that mypy reports what is wrong in them too
    # (an installed package's own errors it keeps to itself).
    files = []
    for index, example in enumerate(python_examples()):
        files.append(tmp_path / f"readme_example_{index + 1}.py")
        files[-1].write_text(example)
    environment = dict(os.environ, MYPYPATH=str(ROOT / "python" / "src"))
    checked = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-error-summary",
         "--cache-dir", str(ROOT / "build" / "mypy-cache"), *map(str, files)],
        capture_output=True, text=True, env=environment, cwd=tmp_path)
    assert checked.returncode == 0, checked.stdout + checked.stderr


def test_the_stub_names_what_the_extension_has_and_every_public_name_is_documented():
    import ast
    import inspect

    import zorvframekit as zfk
    from zorvframekit import _zorvframekit as extension

    stub = ast.parse((Path(extension.__file__).parent / "_zorvframekit.pyi").read_text())
    declared = {node.name: node for node in stub.body if isinstance(node, (ast.ClassDef, ast.FunctionDef))}
    declared.update({node.target.id: node for node in stub.body if isinstance(node, ast.AnnAssign)})
    public = {name for name in vars(extension) if not name.startswith("__")}
    assert public == set(declared)
    for name, node in declared.items():
        if not isinstance(node, ast.ClassDef):
            continue
        members = {item.name for item in node.body if isinstance(item, ast.FunctionDef)}
        runtime = {member for member in vars(getattr(extension, name)) if not member.startswith("__")}
        runtime |= {"__init__", "__enter__", "__exit__"} & set(vars(getattr(extension, name)))
        assert members == runtime, name
    def described(item):
        # pybind11 starts a function's docstring with its signature: what follows is the description.
        doc = inspect.getdoc(item) or ""
        return re.sub(r"^\w+\(.*\) -> .*\n*", "", doc).strip()

    for name in zfk.__all__:
        item = getattr(zfk, name)
        if callable(item) or isinstance(item, type):
            assert described(item), name
        for member, value in vars(item).items() if isinstance(item, type) else ():
            if not member.startswith("_") or member in ("__enter__", "__exit__"):
                assert described(value), f"{name}.{member}"
