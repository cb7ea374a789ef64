#!/usr/bin/python3
# Writes tests/data/worked_example.xlsx, the relation table of the sync run's
# worked example, with XlsxWriter (Debian: python3-xlsxwriter).
#   /usr/bin/python3 tests/data/make_worked_example.py
import datetime
import os

import xlsxwriter

path = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'worked_example.xlsx')
workbook = xlsxwriter.Workbook(path)
workbook.set_properties({'created': datetime.datetime(2024, 1, 2, 3, 4, 5)})
sheet = workbook.add_worksheet()
sheet.write('A1', 'Relation table')
sheet.write_row('C2', ['Name', '2023', ' 2024 ', 'Review'])
sheet.write_row('C3', ['A01', 'G1;G2'])
sheet.write_row('C4', ['B02 ', 'G1', 'G3,G4', '  '])
workbook.close()
