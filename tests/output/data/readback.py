#!/usr/bin/env python3
"""Reads a saved or exported file back as its users' programs would and
prints its rows of cells as JSON on standard output.

  readback.py csv FILE    the records, through python's csv module
  readback.py html FILE   the table's cells, through python's HTML parser

Files hold Windows-1252 bytes."""
import csv
import html.parser
import json
import sys


class TableReader(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.rows = []
        self.cell = None

    def handle_starttag(self, tag, attrs):
        if tag == "tr":
            self.rows.append([])
        elif tag == "td":
            self.cell = ""

    def handle_endtag(self, tag):
        if tag == "td" and self.cell is not None:
            self.rows[-1].append(self.cell)
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data


def main():
    mode, path = sys.argv[1], sys.argv[2]
    with open(path, "r", encoding="cp1252", newline="") as f:
        if mode == "csv":
            rows = [row for row in csv.reader(f)]
        else:
            reader = TableReader()
            reader.feed(f.read())
            reader.close()
            rows = reader.rows
    json.dump(rows, sys.stdout)


main()
