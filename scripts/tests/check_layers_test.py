"""The include-order check on small trees: it passes a tree whose includes point down the layers
and names each include that does not."""
import importlib.util
import os
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
spec = importlib.util.spec_from_file_location("check_layers", os.path.join(HERE, "..", "check-layers.py"))
check_layers = importlib.util.module_from_spec(spec)
spec.loader.exec_module(check_layers)


class CheckLayersTest(unittest.TestCase):
    def tree(self, files):
        root = tempfile.mkdtemp()
        self.addCleanup(lambda: __import__("shutil").rmtree(root))
        for path, text in files.items():
            full = os.path.join(root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w", encoding="utf-8") as f:
                f.write(text)
        return root

    BASE = {
        "include/export_epd.h": "",
        "src/platform/files.h": "#include <unistd.h>\n",
        "src/platform/messages.h": '#include "export_epd.h"\n',
        "src/tables/table.h": '#include "platform/files.h"\n',
        "src/sql/query.h": '#include "tables/table.h"\n',
        "src/export/driver.cpp": '#include "sql/query.h"\n#include "export/driver.h"\n',
        "src/export/driver.h": "",
        "src/ui/win32/window.cpp": '#include <windows.h>\n#include "export/driver.h"\n',
        "tools/epd/main.cpp": '#include "cli.h"\n#include "export/driver.h"\n',
        "tools/epd/cli.h": "",
        "tools/epd/terminal_posix.cpp": "#include <unistd.h>\n",
        "src/export/crash_test.cpp": "#include <sys/wait.h>\n",
    }

    def test_includes_down_the_layers_pass(self):
        self.assertEqual(check_layers.violations(self.tree(self.BASE)), [])

    def test_each_include_against_the_order_is_named(self):
        cases = [
            ("src/tables/scan.cpp", '#include "sql/query.h"\n', "layer tables includes \"sql/query.h\" of layer sql"),
            ("src/platform/x.cpp", '#include "tables/table.h"\n', "layer platform includes"),
            ("src/sql/y.cpp", '#include "export/driver.h"\n', "layer sql includes \"export/driver.h\""),
            ("src/ui/win32/z.cpp", '#include "epd/cli.h"\n', "names no file"),
            ("src/ui/win32/z.cpp", '#include "../../../tools/epd/cli.h"\n', "layer ui includes"),
            ("tools/epd/w.cpp", '#include "ui/win32/window.cpp"\n', "layer tools includes"),
            ("src/export/v.cpp", "#include <windows.h>\n", "<windows.h> is the operating system's"),
            ("src/tables/u.cpp", "  #  include <sys/stat.h>\n", "<sys/stat.h>"),
        ]
        for path, text, expected in cases:
            with self.subTest(path=path, text=text):
                files = dict(self.BASE)
                files[path] = text
                found = check_layers.violations(self.tree(files))
                self.assertEqual(len(found), 1, found)
                self.assertIn(f"{path}:1:", found[0])
                self.assertIn(expected, found[0])

    def test_the_script_fails_with_the_offending_line(self):
        files = dict(self.BASE)
        files["src/tables/scan.cpp"] = '// the scan\n#include "sql/query.h"\n'
        root = self.tree(files)
        self.assertEqual(check_layers.main(["--root", root]), 1)
        self.assertEqual(check_layers.main(["--root", self.tree(self.BASE)]), 0)


if __name__ == "__main__":
    unittest.main()
