#!/usr/bin/python3
"""Builds the chart workbook template: the sheet "チャート" with its headings and charts.

The charts plot rows 3 to 252; the program fills those rows for one stock. The result is an
Office Open XML template (.xltx): a workbook whose main part carries the template content type.
"""
import os
import sys
import tempfile
import zipfile

import xlsxwriter

SHEET = "チャート"
PASSWORD = "trelvanXQZ"
FIRST, LAST = 3, 252

HEADINGS = [
    ("日付", 11), ("始値", 8), ("高値", 8), ("安値", 8), ("終値", 8), ("出来高", 12),
    ("短期強弱", 9), ("短期売買", 7), ("4日ゾーン", 8), ("14日強弱", 9), ("出来高確認", 8),
    ("14日ゾーン", 8), ("6日乖離", 8), ("30日乖離", 8), ("54日乖離", 8), ("値上幅", 7),
    ("値下幅", 7), ("30日平均", 9), ("54日平均", 9), ("7日ゾーン", 8), ("変化幅", 7),
    ("補正終値", 9), ("補正出来高", 12), ("30日平均出来高", 12), ("帯判定", 6),
]

WORKBOOK_TEMPLATE = "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml"
WORKBOOK_SHEET = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"


def col(index):
    return chr(ord("A") + index)


def rng(letter):
    return f"='{SHEET}'!${letter}${FIRST}:${letter}${LAST}"


def build(path):
    wb = xlsxwriter.Workbook(path)
    wb.set_properties({"title": "株価チャート", "subject": "Zuvemo", "comments": "Zuvemo chart template"})
    ws = wb.add_worksheet(SHEET)
    title = wb.add_format({"bold": True, "font_size": 12, "font_name": "Meiryo UI"})
    label = wb.add_format({"bold": True, "bg_color": "#DDEBF7", "border": 1, "font_name": "Meiryo UI"})
    head = wb.add_format({"bold": True, "bg_color": "#1F4E79", "font_color": "#FFFFFF", "border": 1,
                          "align": "center", "text_wrap": True, "font_name": "Meiryo UI"})
    code = wb.add_format({"bold": True, "font_size": 12, "border": 1, "font_name": "Meiryo UI"})

    ws.write("A1", "ｺｰﾄﾞ/銘柄", label)
    ws.write_blank("B1", None, code)
    ws.write_blank("C1", None, code)
    ws.write("E1", "株価チャート (新しい日付が下)", title)
    for i, (text, width) in enumerate(HEADINGS):
        ws.write(1, i, text, head)
        ws.set_column(i, i, width)
    ws.set_row(1, 30)
    ws.freeze_panes(2, 1)

    cats = rng("A")

    # Daily price: high, low, close as a stock chart with the 30- and 54-day means.
    price = wb.add_chart({"type": "stock"})
    price.add_series({"name": "高値", "categories": cats, "values": rng("C"), "line": {"none": True}})
    price.add_series({"name": "安値", "categories": cats, "values": rng("D"), "line": {"none": True}})
    price.add_series({"name": "終値", "categories": cats, "values": rng("E"), "line": {"none": True},
                      "marker": {"type": "short_dash", "size": 3, "border": {"color": "#1F4E79"}}})
    price.set_high_low_lines({"line": {"color": "#7F7F7F"}})
    means = wb.add_chart({"type": "line"})
    means.add_series({"name": "30日平均", "categories": cats, "values": rng("R"),
                      "line": {"color": "#ED7D31", "width": 1.25}})
    means.add_series({"name": "54日平均", "categories": cats, "values": rng("S"),
                      "line": {"color": "#70AD47", "width": 1.25}})
    price.combine(means)
    price.set_title({"name": "株価 (高値・安値・終値) と移動平均  ─ 売買ゾーンは H・I・K・L・T 列"})
    price.set_x_axis({"num_font": {"rotation": -45}, "major_tick_mark": "none"})
    price.set_y_axis({"name": "円", "major_gridlines": {"visible": True, "line": {"color": "#E0E0E0"}}})
    price.set_legend({"position": "bottom"})
    price.set_size({"width": 1000, "height": 380})
    ws.insert_chart("AA2", price)

    # Volume as columns with its 30-day mean.
    volume = wb.add_chart({"type": "column"})
    volume.add_series({"name": "出来高", "categories": cats, "values": rng("F"), "fill": {"color": "#9DC3E6"},
                       "gap": 30})
    vmean = wb.add_chart({"type": "line"})
    vmean.add_series({"name": "30日平均出来高", "categories": cats, "values": rng("X"),
                      "line": {"color": "#C00000", "width": 1.25}})
    volume.combine(vmean)
    volume.set_title({"name": "出来高と30日平均"})
    volume.set_legend({"position": "bottom"})
    volume.set_size({"width": 1000, "height": 240})
    ws.insert_chart("AA22", volume)

    # The two strength ratios with the band flag on a second axis.
    strength = wb.add_chart({"type": "line"})
    strength.add_series({"name": "短期強弱", "categories": cats, "values": rng("G"),
                         "line": {"color": "#2E75B6", "width": 1.25}})
    strength.add_series({"name": "14日強弱", "categories": cats, "values": rng("J"),
                         "line": {"color": "#C55A11", "width": 1.25}})
    band = wb.add_chart({"type": "column"})
    band.add_series({"name": "帯判定", "categories": cats, "values": rng("Y"), "y2_axis": True,
                     "fill": {"color": "#D9D9D9"}, "gap": 0})
    strength.combine(band)
    strength.set_title({"name": "強弱比率と帯判定"})
    strength.set_y_axis({"num_format": "0%"})
    band.set_y2_axis({"min": 0, "max": 1, "major_unit": 1})
    strength.set_legend({"position": "bottom"})
    strength.set_size({"width": 1000, "height": 240})
    ws.insert_chart("AA35", strength)

    # The close relative to its 6-, 30- and 54-day means.
    ratio = wb.add_chart({"type": "line"})
    for letter, name, color in (("M", "6日乖離", "#2E75B6"), ("N", "30日乖離", "#ED7D31"), ("O", "54日乖離", "#70AD47")):
        ratio.add_series({"name": name, "categories": cats, "values": rng(letter),
                          "line": {"color": color, "width": 1.25}})
    ratio.set_title({"name": "終値と移動平均の比 (1.00 = 平均と同じ)"})
    ratio.set_y_axis({"num_format": "0.00"})
    ratio.set_legend({"position": "bottom"})
    ratio.set_size({"width": 1000, "height": 240})
    ws.insert_chart("AA48", ratio)

    ws.protect(PASSWORD, {"objects": True, "scenarios": True})
    ws.activate()
    wb.close()


def to_template(xlsx, xltx):
    tmp = xltx + ".tmp"
    with zipfile.ZipFile(xlsx) as src, zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as dst:
        for item in src.infolist():
            data = src.read(item.filename)
            if item.filename == "[Content_Types].xml":
                data = data.replace(WORKBOOK_SHEET.encode(), WORKBOOK_TEMPLATE.encode())
            dst.writestr(item, data)
    os.replace(tmp, xltx)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_template.py OUTPUT.xltx")
    out = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        xlsx = os.path.join(tmp, "template.xlsx")
        build(xlsx)
        to_template(xlsx, out)


if __name__ == "__main__":
    main()
