#!/usr/bin/env python3
"""Writes the sample language folders file/language1 (English, UTF-8) and file/language2
(Japanese, Shift_JIS) from one source, so that keys, registers and types agree in both and
only the wordings differ. Run from anywhere: python3 scripts/datakit/generate.py [--no-jpeg] [OUT]
(OUT defaults to sample/file). Every text file gets CR LF line ends."""

import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import params as P  # noqa: E402
import pictures  # noqa: E402
from texts import TEXTS  # noqa: E402

LANGS = [("language1", "English", 0, "utf-8"), ("language2", "日本語", 1, "cp932")]

# Special roles: text id -> key of the row in the family's additional list.
SPECIAL_KEYS_F0 = {
    200: "RNGH", 201: "RNGL", 202: "DP", 203: "UNIT", 204: "IDENT", 205: "STATUS", 206: "CONCHK", 207: "INTYP",
    208: "AL1TYP", 209: "AL2TYP", 210: "AL3TYP", 211: "AL4TYP", 212: "AL5TYP", 213: "SVL", 214: "SVH", 215: "SV",
    216: "AL1", 217: "AL2", 218: "AL3", 219: "AL4", 220: "AL5", 221: "AL1h", 222: "AL2h", 223: "AL3h", 224: "AL4h",
    225: "AL5h", 226: "AT", 227: "ALRST", 228: "PRGRUN", 229: "ZCAL", 240: "PRESENT", 241: "EXTRA", 242: "DISPIDX",
}
# The four trend items (texts 231-234): keys whose display names the trend offers.
TREND_KEYS = {231: "PV", 232: "SV", 233: "MV", 234: "DEV"}


def assign_registers(params, *, hold_base_mw=40001, input_base_mw=30001, start_offset=1):
    """Gives every parameter its four register numbers: per-channel ones in the channel
    blocks, module-wide ones below 41000."""
    off_hold = start_offset
    off_in = start_offset
    mw_hold = hold_base_mw
    mw_in = input_base_mw
    for q in params:
        if q["fixed_regs"]:
            q["regs"] = q["fixed_regs"]
        elif q["per_channel"]:
            if q["input_reg"]:
                q["regs"] = [P.CH_INPUT_BASE + 1000 * c + off_in for c in range(4)]
                off_in += 1
            else:
                q["regs"] = [P.CH_BASE + 1000 * c + off_hold for c in range(4)]
                off_hold += 1
        else:
            if q["input_reg"]:
                q["regs"] = [mw_in, 0, 0, 0]
                mw_in += 1
            else:
                q["regs"] = [mw_hold, 0, 0, 0]
                mw_hold += 1
    return params


def fmt_number(q, v):
    if q["dtype"] == 4:
        return "%04X" % int(v)
    return str(v)


def definition_row(q, lang):
    name = q["name"][lang]
    choices = q["choices"]
    unit = choices[0][lang] if choices else q["unit"][lang]
    defaults = list(q["defaults"]) + [""] * (10 - len(q["defaults"]))
    vls = list(q["value_lists"]) + [""] * (4 - len(q["value_lists"]))
    ranges = []
    for lo, hi in (q["ranges"] + [(0, 0)] * 3)[:3]:
        ranges += [fmt_number(q, lo), fmt_number(q, hi)] if (lo, hi) != (0, 0) else ["", ""]
    fields = [str(q["group"]), q["key"], name] + [str(r) for r in q["regs"]] + [
        str(q["dtype"]), fmt_number(q, q["lo"]), fmt_number(q, q["hi"]), str(q["dec"]), unit] + defaults + [
        q["comment"][lang], q["extra"]] + vls + ranges + [str(q["ch_limit"])]
    for f in fields:
        assert "," not in f and "\r" not in f and "\n" not in f, (q["key"], f)
    lines = [",".join(fields)]
    if choices:
        assert len(choices) - 1 >= q["hi"] - q["lo"], q["key"]
        # Choice lines: two empty fields first, so that no line looks like a keyed row.
        for text in choices[1:q["hi"] - q["lo"] + 1]:
            lines.append(",," + text[lang])
    return lines


def write_text(path, lines, encoding):
    data = "".join(line + "\r\n" for line in lines).encode(encoding)
    with open(path, "wb") as f:
        f.write(data)


class MainList:
    """A main list: a caption line and rows of group, page and item key."""

    def __init__(self, caption, comment):
        self.caption = caption
        self.comment = comment
        self.rows = []

    def page(self, group, page, keys):
        for i, key in enumerate(keys):
            self.rows.append(((group if i == 0 else ("", "")), (page if i == 0 else ("", "")), key))

    def lines(self, lang):
        # A line holding only a comment; the caption line follows it.
        out = ["// " + self.comment[lang], self.caption[lang] + ",,"]
        group_seen = set()
        for g, pg, key in self.rows:
            gname = g[lang]
            if gname and gname in group_seen:
                gname = ""
            group_seen.add(gname)
            out.append(f"{gname},{pg[lang]},{key}")
        return out


def keys_of(params, prefix=None):
    return [q["key"] for q in params if q["in_main"] and (prefix is None or q["key"].startswith(prefix))]


def build(out_root):
    function = assign_registers(P.function_params() + P.function_special_rows())
    event = assign_registers(P.event_params())
    # Analog modules sit on stations 1-16 and are uploaded with the Function map, so their
    # registers lie on the same channel-block offsets as the first Function parameters.
    analog_v = assign_registers(P.analog_params("V", True, True))
    analog_n = assign_registers(P.analog_params("N", True, False))
    analog_t = assign_registers(P.analog_params("T", False, True))
    com = assign_registers(P.com_params("C", False) + P.com_special_rows())
    prof = assign_registers(P.com_params("F", True) + P.com_special_rows())

    by_key = {q["key"]: q for q in function}
    for tid, key in list(SPECIAL_KEYS_F0.items()) + list(TREND_KEYS.items()):
        assert key in by_key, key

    fl = MainList(("Function", "機能"), ("Function parameters of the control modules", "制御モジュールの機能パラメータ"))
    fl.page(("Input", "入力"), ("Input settings", "入力設定"),
            ["INTYP", "UNIT", "DP", "RNGH", "RNGL", "PVB", "PVF", "PVR", "DISPIDX", "DISP"])
    fl.page(("Input", "入力"), ("Monitor", "モニタ"), ["PV", "MV", "DEV"])
    fl.page(("Control", "制御"), ("Set value", "設定値"), ["SV", "SVL", "SVH", "MODE"])
    fl.page(("Control", "制御"), ("PID", "PID"), ["P", "I", "D", "ARW", "MR", "ACT"])
    fl.page(("Control", "制御"), ("Output", "出力"), ["OUTH", "OUTL", "CYC", "MVMAN"])
    fl.page(("Control", "制御"), ("Heating/cooling", "加熱冷却"), ["PC", "IC", "DC", "DB"])
    for n in range(1, 6):
        fl.page(("Alarms", "警報"), (f"Alarm {n}", f"警報{n}"),
                [f"AL{n}TYP", f"AL{n}", f"AL{n}h", f"AL{n}DLY", f"AL{n}OUT", f"AL{n}LAT"])
    fl.page(("Commands", "コマンド"), ("Commands", "コマンド"), ["AT", "ALRST", "PRGRUN", "ZCAL"])
    steps = [f"S{s}{k}" for s in range(1, 33) for k in ("SV", "TM", "PB")]
    fl.page(("Program", "プログラム"), ("Steps 1-16", "ステップ1～16"), steps[:48])
    fl.page(("Program", "プログラム"), ("Steps 17-32", "ステップ17～32"), steps[48:])
    fl.page(("Program", "プログラム"), ("Program settings", "プログラム設定"), ["PRGREP", "PRGEND", "PRGTU"])
    banks = [f"B{b}{k}" for b in range(1, 9) for k in ("P", "I", "D", "ARW", "ZN", "OH")]
    fl.page(("PID banks", "PIDバンク"), ("Banks 1-4", "バンク1～4"), banks[:24])
    fl.page(("PID banks", "PIDバンク"), ("Banks 5-8", "バンク5～8"), banks[24:])
    fl.page(("Linearisation", "折線近似"), ("Points", "折点"), [f"L{a}{k}" for k in range(1, 17) for a in "XY"])
    fl.page(("Events", "イベント"), ("Event inputs", "イベント入力"), [f"DI{e}F" for e in range(1, 5)] + ["DILOG"])
    fl.page(("Events", "イベント"), ("Event outputs", "イベント出力"), [f"DO{e}A" for e in range(1, 5)])
    fl.page(("Events", "イベント"), ("Heater and loop", "ヒータ・ループ"), ["HBA", "LBA", "TMON"])
    fl.page(("Multi-SV", "マルチSV"), ("Multi-SV", "マルチSV"), [f"MSV{k}" for k in range(1, 17)])
    fl.page(("Module", "モジュール"), ("Module settings", "モジュール設定"),
            ["ADDR", "KEYLK", "PASSW", "CTRLCH", "PWRON", "BRIGHT", "DISPTO", "FWVER"])
    listed = {k for _, _, k in fl.rows}
    assert listed == set(keys_of(function)), set(keys_of(function)) ^ listed

    el = MainList(("Event", "イベント"), ("Parameters of the event input/output modules", "イベント入出力モジュールのパラメータ"))
    el.page(("Inputs", "入力"), ("Inputs 1-16", "入力1～16"), keys_of(P.event_params(), "EI")[:32])
    el.page(("Outputs", "出力"), ("Outputs 1-16", "出力1～16"), [q["key"] for q in event if q["key"].startswith("EO") and q["key"][2].isdigit()])
    el.page(("Module", "モジュール"), ("Module", "モジュール"), ["EILOG", "EOLOG", "EADDR", "EDI", "EDO", "ECNT1", "ECNTRST"])

    def analog_list(params, caption, comment):
        m = MainList(caption, comment)
        ins = [q["key"] for q in params if "AI" in q["key"]]
        outs = [q["key"] for q in params if "AO" in q["key"]]
        if ins:
            m.page(("Analog input", "アナログ入力"), ("Input", "入力"), ins)
        if outs:
            m.page(("Analog output", "アナログ出力"), ("Output", "出力"), outs)
        return m

    al = analog_list(analog_v, ("Analog", "アナログ"), ("Analog modules (V)", "アナログモジュール(V)"))
    ail = analog_list(analog_n, ("Analog input", "アナログ入力"), ("Analog input modules (N)", "アナログ入力モジュール(N)"))
    aol = analog_list(analog_t, ("Analog output", "アナログ出力"), ("Analog output modules (T)", "アナログ出力モジュール(T)"))

    def com_list(params, caption, comment):
        m = MainList(caption, comment)
        m.page(("Host link", "上位リンク"), ("Host settings", "上位設定"), [q["key"] for q in params if q["group"] == 1])
        m.page(("Host link", "上位リンク"), ("Data blocks", "データブロック"), [q["key"] for q in params if q["group"] == 2])
        m.page(("Loops", "ループ"), ("Loop data", "ループデータ"), [q["key"] for q in params if q["group"] == 3])
        return m

    cl = com_list(com, ("Communication", "通信"), ("Communication module, type 1", "通信モジュール タイプ1"))
    pl = com_list(prof, ("Fieldbus", "フィールドバス"), ("Communication module, type 2", "通信モジュール タイプ2"))

    for folder, langname, lang, enc in LANGS:
        out = os.path.join(out_root, folder)
        if os.path.isdir(out):
            shutil.rmtree(out)
        os.makedirs(os.path.join(out, "BMP"))
        write_text(os.path.join(out, "language.csv"), [langname], enc)

        def add_list(name, params):
            lines = []
            for q in params:
                lines += definition_row(q, lang)
            write_text(os.path.join(out, name), lines, enc)

        add_list("AddContList.csv", function)
        add_list("AddEventList.csv", event)
        add_list("AddAnalogList.csv", analog_v + analog_n + analog_t)
        add_list("AddComList.csv", com)
        add_list("AddProfComList.csv", prof)
        for name, m in [("FunctionList.csv", fl), ("EventList.csv", el), ("AnalogList.csv", al),
                        ("Analog_AiList.csv", ail), ("Analog_AoList.csv", aol), ("ComList.csv", cl),
                        ("ProfComList.csv", pl)]:
            write_text(os.path.join(out, name), m.lines(lang), enc)

        # Text table: the fixed texts, the special-row keys and the trend item keys.
        texts = {tid: pair[lang] for tid, pair in TEXTS.items()}
        for tid, key in SPECIAL_KEYS_F0.items():
            texts[tid] = key
        for tid, key in TREND_KEYS.items():
            texts[tid] = key
        write_text(os.path.join(out, "NameStringTBL.csv"), [f"{tid},{texts[tid]}" for tid in sorted(texts)], enc)

        name_of = {q["key"]: q["name"][lang] for q in function + event + analog_v + analog_n + analog_t + com + prof}

        def favourites(file, caption, groups):
            lines = [caption + ",,"]
            for gid, sid, keys in groups:
                items = [name_of[k] for k in keys]
                lines.append(f"{texts[gid]},{texts[sid]},{items[0] if items else ''}")
                lines += [",," + it for it in items[1:]]
            write_text(os.path.join(out, file), lines, enc)

        fav_caption = ("Favourites", "お気に入り")[lang]
        favourites("Favorite.csv", fav_caption, [
            (158, 161, ["PV", "SV", "MV", "P", "I", "D", "AL1", "AL2", "AT"]),
            (159, 162, ["EI1F", "EO1A", "EDI"]),
            (160, 163, ["VAIV", "VAOV"]),
            (169, 171, ["NAIV", "NAIT"]),
            (170, 172, ["TAOV", "TAOT"]),
        ])
        favourites("Favorite_Com.csv", fav_caption, [(164, 165, ["CADR", "CBPS", "CSV"])])
        favourites("Favorite_ProfCom.csv", fav_caption, [(174, 175, ["FADR", "FBPS", "FSV"])])

        # Trend groups: ten groups of eight pens; Min and Max in the display format.
        trend_names = {231: name_of["PV"], 232: name_of["SV"], 233: name_of["MV"], 234: name_of["DEV"]}
        none_item = texts[230]
        lines = []
        group_names = [("Furnace zones 1-4", "炉ゾーン1～4"), ("Furnace zones 5-8", "炉ゾーン5～8"),
                       ("Set values", "設定値"), ("Outputs", "出力"), ("Deviations", "偏差"), ("Station 1", "局1"),
                       ("Station 2", "局2"), ("Spare 1", "予備1"), ("Spare 2", "予備2"), ("Spare 3", "予備3")]
        for g in range(10):
            cycle = [1, 1, 5, 5, 10, 2, 2, 1, 1, 1][g]
            lines.append(f"Group{g + 1},{cycle},{group_names[g][lang]},,,")
            for pen in range(8):
                if g < 2:
                    # Around the sample set value of 100.0, so that the simulated process moves visibly.
                    st, ch, item, lo, hi = 1 + (pen // 4) + 2 * g, pen % 4 + 1, trend_names[231], "80.0", "120.0"
                elif g == 2:
                    st, ch, item, lo, hi = 1 + pen // 4, pen % 4 + 1, trend_names[232], "0.0", "200.0"
                elif g == 3:
                    st, ch, item, lo, hi = 1 + pen // 4, pen % 4 + 1, trend_names[233], "0.0", "100.0"
                elif g == 4:
                    st, ch, item, lo, hi = 1 + pen // 4, pen % 4 + 1, trend_names[234], "-50.0", "50.0"
                elif g in (5, 6) and pen < 4:
                    st, ch = g - 4, pen + 1
                    item, lo, hi = trend_names[231 + pen % 4 if pen < 3 else 231], "0.0", "400.0"
                else:
                    st, ch, item, lo, hi = 1, 1, none_item, "0.0", "0.0"
                lines.append(f"{pen + 1},{st},{ch},{item},{lo},{hi}")
        write_text(os.path.join(out, "DataTrendDefine.csv"), lines, enc)

        # Download exclusion: an alarm whose type is 47 or more (off) keeps its value and
        # hysteresis out of a download.
        excl = ["condition,first,second"]
        for n in range(1, 6):
            for c in range(4):
                excl.append(f"{by_key[f'AL{n}TYP']['regs'][c]},{by_key[f'AL{n}']['regs'][c]},{by_key[f'AL{n}h']['regs'][c]}")
        write_text(os.path.join(out, "DownloadExclusion.csv"), excl, enc)
        pre = ["// the settings that decide the meaning of others, written first"]
        for key in ["INTYP", "UNIT", "DP", "RNGH", "RNGL", "AL1TYP", "AL2TYP", "AL3TYP", "AL4TYP", "AL5TYP", "SVL", "SVH"]:
            pre.append(",".join(str(r) for r in by_key[key]["regs"]))
        write_text(os.path.join(out, "PreDownload.csv"), pre, enc)
        write_text(os.path.join(out, "NG-INTYP.csv"), ["29,30"], enc)

        pictures.write_all(out, lang)

    return dict(function=function, event=event, analog=analog_v + analog_n + analog_t, com=com, prof=prof)


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    # --no-jpeg: leave out the one file that needs ImageMagick (the tests compare the rest).
    pictures.WRITE_JPEG = "--no-jpeg" not in sys.argv
    out_root = args[0] if args else os.path.join(HERE, "..", "..", "sample", "file")
    tables = build(os.path.abspath(out_root))
    per_ch = sum(1 for q in tables["function"] if q["per_channel"] and not q["input_reg"] and q["in_main"])
    mw = sum(1 for q in tables["function"] if not q["per_channel"] and not q["input_reg"] and q["in_main"])
    print(f"Function: {sum(1 for q in tables['function'] if q['in_main'])} parameters, "
          f"{4 * per_ch + mw} holding registers per control station")
    for k in ("event", "analog", "com", "prof"):
        print(f"{k}: {len(tables[k])} rows")


if __name__ == "__main__":
    main()
