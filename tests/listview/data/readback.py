#!/usr/bin/env python3
"""Reads an exported file back the way its users' programs would and prints
its cells as JSON on standard output.

  readback.py html FILE          the table, through python's HTML parser
  readback.py csv FILE DELIM     the rows, through python's csv module
  readback.py calc FILE COLUMNS  the rows as LibreOffice Calc reads them
                                 (every column as text), saved again by Calc
                                 as UTF-8 and read with python's csv module
  readback.py sheet FILE         the rows of an XML Spreadsheet 2003 workbook
                                 as Calc reads it, saved again by Calc as
                                 UTF-8 and read with python's csv module
  readback.py form FILE          a saved page's form fields (name: value)
                                 and its meta http-equiv headers, through
                                 python's HTML parser
  readback.py writer FILE        the tables of a document as LibreOffice
                                 Writer reads it, saved again by Writer as
                                 flat OpenDocument: every cell's text and
                                 alignment (0 left, 1 centre, 2 right)

Exported text files hold Windows-1252 bytes."""
import csv
import html.parser
import io
import json
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET


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


class FormReader(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.fields = {}
        self.meta = {}

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag in ("input", "textarea", "select") and a.get("name"):
            self.fields[a["name"]] = a.get("value") or ""
        elif tag == "meta" and a.get("http-equiv"):
            self.meta[a["http-equiv"]] = a.get("content") or ""


def read_form(path):
    with open(path, "rb") as f:
        text = f.read().decode("cp1252")
    p = FormReader()
    p.feed(text)
    p.close()
    return {"fields": p.fields, "meta": p.meta}


def read_csv_text(text, delim):
    return list(csv.reader(io.StringIO(text, newline=""), delimiter=delim, strict=True))


def convert(path, infilter, outfilter, ext):
    """Runs LibreOffice on path with a profile of its own; returns the bytes
    of what it wrote."""
    with tempfile.TemporaryDirectory() as home:
        out = os.path.join(home, "out")
        os.mkdir(out)
        args = ["soffice", "-env:UserInstallation=file://" + os.path.join(home, "profile"),
                "--headless", "--norestore"]
        if infilter:
            args.append("--infilter=" + infilter)
        subprocess.run(args + ["--convert-to", outfilter, "--outdir", out, path],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=240,
                       env=dict(os.environ, HOME=home))
        name = os.path.splitext(os.path.basename(path))[0] + "." + ext
        with open(os.path.join(out, name), "rb") as f:
            return f.read()


# Comma-separated, quoted by '"', UTF-8, every text cell quoted.
CSV_OUT = "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true,false,false"


def read_calc(path, columns):
    # Separator ",", text delimiter '"', Windows-1252, from line 1, every
    # column as text (type 2).
    types = "/".join("%d/2" % (i + 1) for i in range(columns))
    data = convert(path, "Text - txt - csv (StarCalc):44,34,1,1," + types, CSV_OUT, "csv")
    return read_csv_text(data.decode("utf-8"), ",")


def read_sheet(path):
    data = convert(path, "MS Excel 2003 XML", CSV_OUT, "csv")
    return read_csv_text(data.decode("utf-8"), ",")


NS = {
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "fo": "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0",
}
ALIGN = {"start": 0, "left": 0, "center": 1, "end": 2, "right": 2}


def q(name):
    prefix, local = name.split(":")
    return "{%s}%s" % (NS[prefix], local)


def paragraph_text(node):
    """A paragraph's text with its spaces, tabs and line breaks."""
    out = node.text or ""
    for child in node:
        if child.tag == q("text:s"):
            out += " " * int(child.get(q("text:c"), "1"))
        elif child.tag == q("text:tab"):
            out += "\t"
        elif child.tag == q("text:line-break"):
            out += "\n"
        else:
            out += paragraph_text(child)
        out += child.tail or ""
    return out


def read_writer(path):
    root = ET.fromstring(convert(path, None, "fodt", "fodt"))
    styles = {}
    for st in root.iter(q("style:style")):
        props = st.find(q("style:paragraph-properties"))
        align = props.get(q("fo:text-align")) if props is not None else None
        styles[st.get(q("style:name"))] = (st.get(q("style:parent-style-name")), align)

    def alignment(name):
        seen = set()
        while name in styles and name not in seen:
            seen.add(name)
            parent, align = styles[name]
            if align:
                return ALIGN.get(align, -1)
            name = parent
        return 0

    body = root.find(q("office:body")).find(q("office:text"))
    tables = []
    for table in body.iter(q("table:table")):
        rows = []
        for row in table.iter(q("table:table-row")):
            cells = []
            for cell in row:
                if cell.tag not in (q("table:table-cell"), q("table:covered-table-cell")):
                    continue
                paras = [p for p in cell if p.tag in (q("text:p"), q("text:h"))]
                entry = {"text": "\n".join(paragraph_text(p) for p in paras),
                         "align": alignment(paras[0].get(q("text:style-name"))) if paras else 0}
                cells.extend([entry] * int(cell.get(q("table:number-columns-repeated"), "1")))
            rows.append(cells)
        tables.append(rows)
    return {"tables": len(tables), "rows": tables[0] if tables else []}


def main():
    mode, path = sys.argv[1], sys.argv[2]
    if mode == "html":
        result = read_html(path)
    elif mode == "csv":
        with open(path, "rb") as f:
            result = read_csv_text(f.read().decode("cp1252"), sys.argv[3])
    elif mode == "calc":
        result = read_calc(path, int(sys.argv[3]))
    elif mode == "sheet":
        result = read_sheet(path)
    elif mode == "form":
        result = read_form(path)
    elif mode == "writer":
        result = read_writer(path)
    else:
        sys.exit("unknown mode " + mode)
    json.dump(result, sys.stdout)


if __name__ == "__main__":
    main()
