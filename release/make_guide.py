#!/usr/bin/python3
# Writes 使用说明.html from its source, release/guide.html, as one file that can be
# copied and mailed alone: the screenshots are put in as data: addresses, the
# template's table and the folders it gives come from make_template.py, so
# the guide shows exactly what the package holds.
#
#   make_guide.py SOURCE.html VERSION PICTURE_FOLDER OUT.html
#
# SOURCE holds @VERSION@, @TEMPLATE_TABLE@, @TEMPLATE_RESULT@ and
# @PICTURE:name.png@ for each picture, which must be in PICTURE_FOLDER.
import base64
import html
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_template  # noqa: E402


def picture(folder, name):
    path = os.path.join(folder, name)
    if not os.path.isfile(path):
        sys.exit('make_guide: no picture %s' % path)
    with open(path, 'rb') as f:
        data = base64.b64encode(f.read()).decode('ascii')
    return '<img alt="" src="data:image/png;base64,%s">' % data


def main(argv):
    if len(argv) != 5:
        sys.exit('usage: make_guide.py SOURCE.html VERSION PICTURE_FOLDER OUT.html')
    source, version, pictures, out = argv[1:]
    with open(source, encoding='utf-8') as f:
        text = f.read()
    text = text.replace('@VERSION@', html.escape(version))
    text = text.replace('@TEMPLATE_TABLE@', make_template.html_table())
    text = text.replace('@TEMPLATE_RESULT@', '\n'.join(
        html.escape(d.replace('/', '\\') + '\\') for d in make_template.destinations()))
    text = re.sub(r'@PICTURE:([^@]+)@', lambda m: picture(pictures, m.group(1)), text)
    left = re.findall(r'@[A-Z_]+(?::[^@]*)?@', text)
    if left:
        sys.exit('make_guide: placeholders left: %s' % ' '.join(left))
    with open(out, 'w', encoding='utf-8', newline='\r\n') as f:
        f.write(text)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
