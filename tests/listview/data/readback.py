#!/usr/bin/env python3
"""Reads an exported file back the way its users' programs would and prints
its cells as JSON on standard output.

  readback.py html FILE          the table, through python's HTML parser
  readback.py csv FILE DELIM     the rows, through python's csv module
  readback.py calc FILE COLUMNS  the rows as LibreOffice Calc reads them
                                 (every column as text), saved again by Calc
                                 as UTF-8 and read with python's csv module

Exported files hold Windows-1252 bytes."""
import csv
import html.parser
import io
import json
import os
import subprocess
import sys
import tempfile


class TableReader(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.rows = []
        self.cell = None
        self.tables = 0

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "table":
            self.tables += 1
        elif tag == "tr":
            self.rows.append([])
        elif tag == "td":
            self.cell = {"text": "", "bgcolor": a.get("bgcolor", ""), "color": "",
                         "bold": False, "italic": False, "nowrap": "nowrap" in a, "tags": []}
            self.rows[-1].append(self.cell)
        elif self.cell is not None:
            self.cell["tags"].append(tag)
            if tag == "font":
                self.cell["color"] = a.get("color", "")
            elif tag == "b":
                self.cell["bold"] = True
            elif tag == "i":
                self.cell["italic"] = True

    def handle_endtag(self, tag):
        if tag == "td":
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell["text"] += data


def read_html(path):
    with open(path, "rb") as f:
        text = f.read().decode("cp1252")
    p = TableReader()
    p.feed(text)
    p.close()
    return {"tables": p.tables, "rows": p.rows}


def read_csv_text(text, delim):
    return list(csv.reader(io.StringIO(text, newline=""), delimiter=delim, strict=True))


def read_calc(path, columns):
    with tempfile.TemporaryDirectory() as home:
        out = os.path.join(home, "out")
        os.mkdir(out)
        # Separator ",", text delimiter '"', Windows-1252, from line 1, every
        # column as text (type 2).
        types = "/".join("%d/2" % (i + 1) for i in range(columns))
        subprocess.run(
            ["soffice", "-env:UserInstallation=file://" + os.path.join(home, "profile"),
             "--headless", "--norestore",
             "--infilter=Text - txt - csv (StarCalc):44,34,1,1," + types,
             "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true,false,false",
             "--outdir", out, path],
            check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=240,
            env=dict(os.environ, HOME=home))
        name = os.path.splitext(os.path.basename(path))[0] + ".csv"
        with open(os.path.join(out, name), "rb") as f:
            data = f.read().decode("utf-8")
    return read_csv_text(data, ",")


def main():
    mode, path = sys.argv[1], sys.argv[2]
    if mode == "html":
        result = read_html(path)
    elif mode == "csv":
        with open(path, "rb") as f:
            result = read_csv_text(f.read().decode("cp1252"), sys.argv[3])
    elif mode == "calc":
        result = read_calc(path, int(sys.argv[3]))
    else:
        sys.exit("unknown mode " + mode)
    json.dump(result, sys.stdout)


if __name__ == "__main__":
    main()
