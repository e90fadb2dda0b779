#!/usr/bin/env python3
"""Reads the options dialog's script container as the host would: one gzip
member, three sections, the first a one-line XML document whose root is
"program". Exit status 0 when it does, 1 with the reason otherwise."""
import gzip
import sys
import xml.dom.minidom

SEPARATOR = b"\r\n\r\n<=======>\r\n\r\n"


def main(path):
    with open(path, "rb") as f:
        content = gzip.decompress(f.read())
    sections = content.split(SEPARATOR)
    if len(sections) != 3:
        return "expected 3 sections, found %d" % len(sections)
    tree, name, properties = sections
    if not tree.startswith(b'<?xml version="1.0"?>') or b"\n" in tree or b"\r" in tree:
        return "the tree does not start with the declaration or holds a line break"
    root = xml.dom.minidom.parseString(tree).documentElement
    if root.tagName != "program":
        return "root element is %s" % root.tagName
    if name != b"TFRMOPTION":
        return "form name %r" % name
    if not properties.endswith(b"\r\n \r\n"):
        return "properties do not end with the blank line"
    return None


if __name__ == "__main__":
    error = main(sys.argv[1])
    if error:
        print(sys.argv[1] + ": " + error)
        sys.exit(1)
