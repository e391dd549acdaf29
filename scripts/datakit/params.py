# Parameter tables of the sample line: definitions shared by both languages.
# A parameter is a dict; `p()` builds one. Names and choice texts are (English, Japanese).

CH_BASE = 41000          # channel c (0-3) registers lie in 41000 + 1000 * c ...
CH_INPUT_BASE = 31000    # ... and its input registers in 31000 + 1000 * c


def p(key, name, dtype, *, group, per_channel=True, lo=0, hi=0, dec=0, unit=("", ""), defaults=(),
      comment=("", ""), extra="", choices=None, value_lists=(), ranges=(), ch_limit=0, input_reg=False,
      in_main=True, fixed_regs=None):
    return dict(key=key, name=name, dtype=dtype, group=group, per_channel=per_channel, lo=lo, hi=hi, dec=dec,
                unit=unit, defaults=list(defaults), comment=comment, extra=extra, choices=choices,
                value_lists=list(value_lists), ranges=list(ranges), ch_limit=ch_limit, input_reg=input_reg,
                in_main=in_main, fixed_regs=fixed_regs)


def choice(*pairs):
    """Choice texts, choice 0 first; each (English, Japanese)."""
    return list(pairs)


OFF_START = choice(("0:Off", "0:停止"), ("1:Start", "1:開始"))
NO_YES = choice(("0:No", "0:しない"), ("1:Yes", "1:する"))

INPUT_TYPES = [
    ("K thermocouple -150 to 600", "K熱電対 -150～600"), ("K thermocouple -150 to 1370", "K熱電対 -150～1370"),
    ("J thermocouple", "J熱電対"), ("T thermocouple", "T熱電対"), ("E thermocouple", "E熱電対"),
    ("R thermocouple", "R熱電対"), ("S thermocouple", "S熱電対"), ("B thermocouple", "B熱電対"),
    ("N thermocouple", "N熱電対"), ("PL-II thermocouple", "PL-II熱電対"), ("W5Re/W26Re thermocouple", "W5Re/W26Re熱電対"),
    ("U thermocouple", "U熱電対"), ("L thermocouple", "L熱電対"), ("Pt100 -199.9 to 400.0", "Pt100 -199.9～400.0"),
    ("Pt100 -199.9 to 800.0", "Pt100 -199.9～800.0"), ("JPt100", "JPt100"), ("Pt100 0 to 400", "Pt100 0～400"),
    ("JPt100 0 to 400", "JPt100 0～400"), ("Pt-Rh thermocouple", "白金ロジウム熱電対"),
    ("PR40-20 thermocouple", "PR40-20熱電対"), ("Ni100", "Ni100"), ("4 to 20 mA", "4～20mA"),
    ("0 to 20 mA", "0～20mA"), ("1 to 5 V", "1～5V"), ("0 to 5 V", "0～5V"), ("0 to 10 V", "0～10V"),
    ("0 to 1 V", "0～1V"), ("0 to 100 mV", "0～100mV"), ("-10 to 10 V", "-10～10V"), ("Square root of 4 to 20 mA", "4～20mA開平"),
    ("Not used", "未使用"),
]

ALARM_TYPES_EN = [
    "Not used", "Absolute high", "Absolute low", "Absolute high, standby", "Absolute low, standby",
    "Deviation high", "Deviation low", "Deviation high/low", "Deviation high, standby", "Deviation low, standby",
    "Deviation high/low, standby", "Deviation band", "SV high", "Deviation band, standby", "Deviation band inverted",
    "High/low range", "Absolute high, latch", "Deviation high/low range", "Deviation high, latch", "Range, latch",
    "Absolute low, latch", "Deviation range, latch", "Deviation low, latch", "Range inverted, latch", "SV low",
    "Deviation range inverted", "Deviation high/low, latch", "Range inverted", "MV high", "Deviation range, standby",
    "Deviation band, latch", "Range, standby", "MV low", "Heater break", "Heater short",
    "Loop break, percent", "Rate of change, percent", "Timer, percent", "Loop break, percent, latch",
    "Rate of change, percent, latch", "Timer, percent, latch", "Program end", "Program step", "Program hold",
    "Sensor break", "Input over range", "Input under range", "Alarm off",
]
ALARM_TYPES_JA = [
    "未使用", "絶対値上限", "絶対値下限", "絶対値上限待機付", "絶対値下限待機付", "偏差上限", "偏差下限", "偏差上下限",
    "偏差上限待機付", "偏差下限待機付", "偏差上下限待機付", "偏差範囲内", "SV上限", "偏差範囲内待機付", "偏差範囲外",
    "上下限範囲", "絶対値上限ラッチ", "偏差上下限範囲", "偏差上限ラッチ", "範囲ラッチ", "絶対値下限ラッチ", "偏差範囲ラッチ",
    "偏差下限ラッチ", "範囲外ラッチ", "SV下限", "偏差範囲外", "偏差上下限ラッチ", "範囲外", "MV上限", "偏差範囲待機付",
    "偏差範囲内ラッチ", "範囲待機付", "MV下限", "ヒータ断線", "ヒータ短絡", "ループ断線(%)", "変化率(%)", "タイマ(%)",
    "ループ断線(%)ラッチ", "変化率(%)ラッチ", "タイマ(%)ラッチ", "プログラム終了", "プログラムステップ", "プログラムホールド",
    "センサ断線", "入力上限超過", "入力下限超過", "警報オフ",
]
assert len(ALARM_TYPES_EN) == 48 and len(ALARM_TYPES_JA) == 48


def indexed(names):
    return [(f"{i}:{en}", f"{i}:{ja}") for i, (en, ja) in enumerate(names)]


# ---------------------------------------------------------------- Function (control modules A, B)
def function_params():
    P = []
    deg = ("degC", "℃")
    pct = ("%", "%")
    sec = ("s", "秒")
    # Input: group 1, picture of the input section.
    P += [
        p("PV", ("Process value", "測定値"), 1, group=1, input_reg=True, unit=deg, comment=("Measured value of the loop", "ループの測定値")),
        p("MV", ("Output value", "操作量"), 0, group=2, input_reg=True, dec=1, lo=-50, hi=1050, unit=pct,
          comment=("Control output", "制御出力")),
        p("DEV", ("Deviation", "偏差"), 1, group=2, input_reg=True, unit=deg, comment=("PV - SV", "PV - SV")),
        p("INTYP", ("Input type", "入力種類"), 2, group=1, lo=0, hi=30, choices=indexed(INPUT_TYPES), defaults=["0"],
          comment=("Sensor connected to the input", "入力に接続するセンサ"), extra="GRP-INPUT.bmp",
          value_lists=["", "NG-INTYP.csv", "NG-INTYP.csv", "NG-INTYP.csv"]),
        p("UNIT", ("Temperature unit", "温度単位"), 2, group=1, lo=0, hi=3,
          choices=choice(("degC", "℃"), ("degF", "°F"), ("%", "%"), ("none", "なし")), defaults=["0"],
          comment=("Unit of PV and SV", "PV・SVの単位"), extra="GRP-INPUT.bmp"),
        p("DP", ("Decimal point position", "小数点位置"), 2, group=1, lo=0, hi=2,
          choices=choice(("0:No decimals", "0:小数点なし"), ("1:One decimal", "1:小数点1桁"), ("2:Two decimals", "2:小数点2桁")),
          defaults=["1"], extra="GRP-INPUT.bmp"),
        # Shown with the channel's decimal point, limited by its own limits (a type 1 would be
        # limited by the range itself).
        p("RNGH", ("Range upper limit", "レンジ上限"), 10, group=1, lo=-19999, hi=32000, defaults=["1500"], unit=deg,
          extra="GRP-INPUT.bmp"),
        p("RNGL", ("Range lower limit", "レンジ下限"), 10, group=1, lo=-19999, hi=32000, defaults=["0"], unit=deg,
          extra="GRP-INPUT.bmp"),
        p("PVB", ("PV bias", "PVバイアス"), 10, group=1, lo=-1999, hi=9999, unit=deg, defaults=["0"], extra="GRP-INPUT.bmp"),
        p("PVF", ("PV filter time constant", "PVフィルタ時定数"), 0, group=1, dec=1, lo=0, hi=9000, unit=sec, defaults=["0"],
          extra="GRP-INPUT.bmp"),
        p("PVR", ("PV ratio", "PV比率"), 0, group=1, dec=3, lo=0, hi=9999, defaults=["1000"], extra="GRP-INPUT.bmp"),
        p("DISPIDX", ("Display text index", "表示テキスト番号"), 3, group=1, lo=0, hi=99, defaults=["0"],
          extra="GRP-INPUT.bmp"),
        p("DISP", ("Display item", "表示項目"), 2, group=1, lo=0, hi=2,
          choices=choice(("0:PV", "0:PV"), ("1:SV", "1:SV"), ("2:Output", "2:出力")), defaults=["0"], extra="GRP-INPUT.bmp"),
    ]
    # Control: group 2, a JPEG picture.
    P += [
        p("SV", ("Set value", "設定値"), 1, group=2, unit=deg, defaults=["1000"], extra="GRP-PID.jpg",
          comment=("Target of the loop; limited by SV low/high", "ループの目標値(SV下限/上限で制限)")),
        p("SVL", ("SV low limit", "SV下限リミット"), 1, group=2, unit=deg, defaults=["0"], extra="GRP-PID.jpg"),
        p("SVH", ("SV high limit", "SV上限リミット"), 1, group=2, unit=deg, defaults=["1500"], extra="GRP-PID.jpg"),
        p("P", ("Proportional band", "比例帯"), 7, group=2, dec=1, lo=0, hi=1000, defaults=["50"], unit=pct, extra="GRP-PID.jpg",
          comment=("Percent of the input span", "入力スパンに対する%")),
        p("I", ("Integral time", "積分時間"), 3, group=2, lo=0, hi=3600, unit=sec, defaults=["240"], extra="GRP-PID.jpg",
          ranges=[(0, 1800), (0, 1800), (0, 1800)]),
        p("D", ("Derivative time", "微分時間"), 3, group=2, lo=0, hi=3600, unit=sec, defaults=["60"], extra="GRP-PID.jpg"),
        p("ARW", ("Anti-reset windup", "アンチリセットワインドアップ"), 7, group=2, dec=1, lo=0, hi=1000, unit=pct,
          defaults=["1000"], extra="GRP-PID.jpg"),
        p("MR", ("Manual reset", "マニュアルリセット"), 0, group=2, dec=1, lo=-1000, hi=1000, unit=pct, defaults=["0"],
          extra="GRP-PID.jpg"),
        p("ACT", ("Control action", "制御動作"), 2, group=2, lo=0, hi=1,
          choices=choice(("0:Reverse (heating)", "0:逆動作(加熱)"), ("1:Direct (cooling)", "1:正動作(冷却)")),
          defaults=["0"], extra="GRP-PID.jpg"),
        p("OUTH", ("Output high limit", "出力上限"), 0, group=2, dec=1, lo=-50, hi=1050, unit=pct, defaults=["1000"],
          extra="GRP-PID.jpg"),
        p("OUTL", ("Output low limit", "出力下限"), 0, group=2, dec=1, lo=-50, hi=1050, unit=pct, defaults=["0"],
          extra="GRP-PID.jpg"),
        p("CYC", ("Output cycle time", "出力周期"), 3, group=2, lo=1, hi=150, unit=sec, defaults=["4A:20", "4B:2"],
          extra="GRP-PID.jpg"),
        p("MVMAN", ("Manual output", "手動出力"), 0, group=2, dec=1, lo=-50, hi=1050, unit=pct, defaults=["0"],
          extra="GRP-PID.jpg"),
        p("MODE", ("Operation mode", "運転モード"), 2, group=2, lo=0, hi=3,
          choices=choice(("0:Auto", "0:自動"), ("1:Manual", "1:手動"), ("2:Standby", "2:スタンバイ"), ("3:Program", "3:プログラム")),
          defaults=["0"], extra="GRP-PID.jpg"),
        p("PC", ("Cooling proportional band", "冷却側比例帯"), 7, group=2, dec=1, lo=0, hi=1000, unit=pct, defaults=["50"],
          ch_limit=2, extra="GRP-PID.jpg"),
        p("IC", ("Cooling integral time", "冷却側積分時間"), 3, group=2, lo=0, hi=3600, unit=sec, defaults=["240"],
          ch_limit=2, extra="GRP-PID.jpg"),
        p("DC", ("Cooling derivative time", "冷却側微分時間"), 3, group=2, lo=0, hi=3600, unit=sec, defaults=["60"],
          ch_limit=2, extra="GRP-PID.jpg"),
        p("DB", ("Dead band", "デッドバンド"), 0, group=2, dec=1, lo=-1000, hi=1000, unit=pct, defaults=["0"],
          ch_limit=2, extra="GRP-PID.jpg"),
    ]
    # Alarms 1 to 5: groups 3 to 7, a document each.
    for n in range(1, 6):
        g = 2 + n
        doc = "Manual-Alarm.pdf"
        P += [
            p(f"AL{n}TYP", (f"Alarm {n} type", f"警報{n}種類"), 2, group=g, lo=0, hi=47,
              choices=[(f"{i}:{e}", f"{i}:{j}") for i, (e, j) in enumerate(zip(ALARM_TYPES_EN, ALARM_TYPES_JA))],
              defaults=["5" if n == 1 else "6" if n == 2 else "47"], extra=doc,
              comment=(f"What alarm {n} watches", f"警報{n}の監視内容")),
            p(f"AL{n}", (f"Alarm {n} value", f"警報{n}設定値"), 8, group=g, dec=1, unit=deg, defaults=["100"], extra=doc),
            p(f"AL{n}h", (f"Alarm {n} hysteresis", f"警報{n}ヒステリシス"), 8, group=g, dec=1, unit=deg, defaults=["10"],
              extra=doc),
            p(f"AL{n}DLY", (f"Alarm {n} delay", f"警報{n}遅延時間"), 3, group=g, lo=0, hi=9999, unit=sec, defaults=["0"],
              extra=doc),
            p(f"AL{n}OUT", (f"Alarm {n} output assignment", f"警報{n}出力割付"), 4, group=g, lo=0, hi=0xFFFF,
              defaults=["0000"], extra=doc, ranges=[(0, 0x00FF), (0, 0x00FF), (0, 0x00FF)]),
            p(f"AL{n}LAT", (f"Alarm {n} latch", f"警報{n}ラッチ"), 2, group=g, lo=0, hi=1, choices=NO_YES, defaults=["0"],
              extra=doc),
        ]
    # Commands: group 8. The module sets them back to 0 when done.
    P += [
        p("AT", ("Auto-tuning", "オートチューニング"), 2, group=8, lo=0, hi=1, choices=OFF_START, defaults=["0"],
          comment=("Starts the PID auto-tuning; the module returns it to Off", "PIDオートチューニング開始(終了で停止に戻る)")),
        p("ALRST", ("Alarm latch reset", "警報ラッチ解除"), 2, group=8, lo=0, hi=1, choices=OFF_START, defaults=["0"]),
        p("PRGRUN", ("Program start", "プログラム開始"), 2, group=8, lo=0, hi=1, choices=OFF_START, defaults=["0"]),
        p("ZCAL", ("Zero calibration", "ゼロ校正"), 2, group=8, lo=0, hi=1, choices=OFF_START, defaults=["0"]),
    ]
    # Ramp/soak program: group 9 (32 steps of set value, time and PID bank).
    for s in range(1, 33):
        P += [
            p(f"S{s}SV", (f"Step {s} set value", f"ステップ{s}設定値"), 1, group=9, unit=deg, defaults=["0"]),
            p(f"S{s}TM", (f"Step {s} time", f"ステップ{s}時間"), 5, group=9, lo=0, hi=9959, defaults=["0"]),
            p(f"S{s}PB", (f"Step {s} PID bank", f"ステップ{s}PIDバンク"), 3, group=9, lo=0, hi=8, defaults=["0"]),
        ]
    P += [
        p("PRGREP", ("Program repeat count", "プログラム繰返し回数"), 3, group=9, lo=0, hi=9999, defaults=["0"]),
        p("PRGEND", ("Action at program end", "プログラム終了時動作"), 2, group=9, lo=0, hi=2,
          choices=choice(("0:Hold last SV", "0:最終SV保持"), ("1:Standby", "1:スタンバイ"), ("2:Repeat", "2:繰返し")),
          defaults=["0"]),
        p("PRGTU", ("Program time unit", "プログラム時間単位"), 2, group=9, lo=0, hi=1,
          choices=choice(("0:Hours:minutes", "0:時:分"), ("1:Minutes:seconds", "1:分:秒")), defaults=["0"]),
    ]
    # PID banks: group 10 (8 banks of P, I, D, ARW, zone, output limit).
    for b in range(1, 9):
        P += [
            p(f"B{b}P", (f"Bank {b} proportional band", f"バンク{b}比例帯"), 7, group=10, dec=1, lo=0, hi=1000, unit=pct,
              defaults=["50"]),
            p(f"B{b}I", (f"Bank {b} integral time", f"バンク{b}積分時間"), 3, group=10, lo=0, hi=3600, unit=sec,
              defaults=["240"]),
            p(f"B{b}D", (f"Bank {b} derivative time", f"バンク{b}微分時間"), 3, group=10, lo=0, hi=3600, unit=sec,
              defaults=["60"]),
            p(f"B{b}ARW", (f"Bank {b} anti-reset windup", f"バンク{b}ARW"), 7, group=10, dec=1, lo=0, hi=1000, unit=pct,
              defaults=["1000"]),
            p(f"B{b}ZN", (f"Bank {b} zone upper limit", f"バンク{b}ゾーン上限"), 1, group=10, unit=deg, defaults=["0"]),
            p(f"B{b}OH", (f"Bank {b} output high limit", f"バンク{b}出力上限"), 0, group=10, dec=1, lo=-50, hi=1050,
              unit=pct, defaults=["1000"]),
        ]
    # Input linearisation: group 11 (16 points).
    for k in range(1, 17):
        P += [
            p(f"LX{k}", (f"Linearisation input {k}", f"折線入力{k}"), 0, group=11, dec=1, lo=-50, hi=1050, unit=pct,
              defaults=[str((k - 1) * 1000 // 15)]),
            p(f"LY{k}", (f"Linearisation output {k}", f"折線出力{k}"), 0, group=11, dec=1, lo=-50, hi=1050, unit=pct,
              defaults=[str((k - 1) * 1000 // 15)]),
        ]
    # Event and heater: group 12.
    for e in range(1, 5):
        P += [
            p(f"DI{e}F", (f"Event input {e} function", f"イベント入力{e}機能"), 2, group=12, lo=0, hi=4,
              choices=choice(("0:Not used", "0:未使用"), ("1:Auto/manual", "1:自動/手動"), ("2:Run/standby", "2:運転/スタンバイ"),
                             ("3:SV bank select", "3:SVバンク切替"), ("4:Alarm reset", "4:警報解除")), defaults=["0"]),
            p(f"DO{e}A", (f"Event output {e} assignment", f"イベント出力{e}割付"), 4, group=12, lo=0, hi=0xFFFF,
              defaults=["0000"]),
        ]
    P += [
        p("DILOG", ("Event input logic", "イベント入力論理"), 6, group=12, lo=0, hi=15, defaults=["0"]),
        p("HBA", ("Heater break current", "ヒータ断線電流"), 0, group=12, dec=1, lo=0, hi=500, unit=("A", "A"),
          defaults=["0"], ch_limit=4),
        p("LBA", ("Loop break alarm time", "ループ断線警報時間"), 3, group=12, lo=0, hi=7200, unit=sec, defaults=["480"]),
        p("TMON", ("Timer on delay", "タイマオン遅延"), 5, group=12, lo=0, hi=9959, defaults=["0"]),
    ]
    for k in range(1, 17):
        P += [p(f"MSV{k}", (f"Multi-SV {k}", f"マルチSV{k}"), 1, group=13, unit=deg, defaults=["0"])]
    # Module-wide settings: group 14.
    mw = dict(per_channel=False, group=14)
    P += [
        p("ADDR", ("Communication address", "通信アドレス"), 3, lo=1, hi=32, defaults=["1"], **mw),
        p("KEYLK", ("Key lock", "キーロック"), 6, lo=0, hi=15, defaults=["0"], **mw),
        p("PASSW", ("Password", "パスワード"), 4, lo=0, hi=0xFFFF, defaults=["0000"], **mw),
        p("CTRLCH", ("Number of control loops", "制御ループ数"), 3, lo=1, hi=4, defaults=["4A:4", "4B:2"], **mw),
        p("PWRON", ("Mode at power on", "電源投入時モード"), 2, lo=0, hi=2,
          choices=choice(("0:As before", "0:前回状態"), ("1:Auto", "1:自動"), ("2:Standby", "2:スタンバイ")), defaults=["0"], **mw),
        p("BRIGHT", ("Display brightness", "表示輝度"), 3, lo=1, hi=8, defaults=["5"], **mw),
        p("DISPTO", ("Display off after", "表示消灯時間"), 5, lo=0, hi=9959, defaults=["0"], **mw),
        p("FWVER", ("Firmware version", "ファームウェア版数"), 4, lo=0, hi=0xFFFF, input_reg=True, **mw),
    ]
    return P


# The rows of the special roles that are not parameters of a page.
def function_special_rows():
    mw = dict(per_channel=False, group=90, in_main=False)
    return [
        p("IDENT", ("Module code", "形式コード"), 3, fixed_regs=[30901, 30913, 0, 0], **mw),
        p("STATUS", ("Module status", "モジュール状態"), 3, fixed_regs=[30921, 30930, 0, 0], **mw),
        p("CONCHK", ("Connection check", "接続確認"), 4, fixed_regs=[40990, 0, 0, 0], **mw),
        p("PRESENT", ("Stations present", "接続局"), 4, fixed_regs=[30941, 30942, 0, 0], **mw),
        p("EXTRA", ("Extra station", "追加局"), 3, fixed_regs=[30943, 0, 0, 0], **mw),
    ]


# ---------------------------------------------------------------- Event modules (E)
def event_params():
    P = []
    ev = dict(per_channel=False)
    for k in range(1, 17):
        P += [
            p(f"EI{k}F", (f"Input {k} function", f"入力{k}機能"), 2, group=1, lo=0, hi=3,
              choices=choice(("0:Not used", "0:未使用"), ("1:Normally open", "1:a接点"), ("2:Normally closed", "2:b接点"),
                             ("3:Counter", "3:カウンタ")), defaults=["1"], **ev),
            p(f"EI{k}T", (f"Input {k} filter time", f"入力{k}フィルタ時間"), 3, group=1, lo=0, hi=100, unit=("ms", "ms"),
              defaults=["10"], **ev),
        ]
    for k in range(1, 17):
        P += [
            p(f"EO{k}A", (f"Output {k} assignment", f"出力{k}割付"), 4, group=2, lo=0, hi=0xFFFF, defaults=["0000"], **ev),
            p(f"EO{k}D", (f"Output {k} on delay", f"出力{k}オン遅延"), 5, group=2, lo=0, hi=9959, defaults=["0"], **ev),
        ]
    P += [
        p("EILOG", ("Input logic of inputs 1-4", "入力論理(入力1～4)"), 6, group=3, lo=0, hi=15, defaults=["0"], **ev),
        p("EOLOG", ("Output logic of outputs 1-4", "出力論理(出力1～4)"), 6, group=3, lo=0, hi=15, defaults=["0"], **ev),
        p("EADDR", ("Communication address", "通信アドレス"), 3, group=3, lo=17, hi=32, defaults=["17"], **ev),
        p("EDI", ("Input states", "入力状態"), 4, group=3, lo=0, hi=0xFFFF, input_reg=True, **ev),
        p("EDO", ("Output states", "出力状態"), 4, group=3, lo=0, hi=0xFFFF, input_reg=True, **ev),
        p("ECNT1", ("Counter 1", "カウンタ1"), 3, group=3, lo=0, hi=65535, input_reg=True, **ev),
        p("ECNTRST", ("Counter reset", "カウンタリセット"), 2, group=3, lo=0, hi=1, choices=OFF_START, defaults=["0"], **ev),
    ]
    return P


# ---------------------------------------------------------------- Analog modules (V, N, T)
def analog_params(prefix, with_input, with_output):
    pct = ("%", "%")
    P = []
    if with_input:
        P += [
            p(f"{prefix}AIV", ("Analog input value", "アナログ入力値"), 0, group=1, dec=1, lo=-50, hi=1050, unit=pct,
              input_reg=True),
            p(f"{prefix}AIT", ("Analog input type", "アナログ入力種類"), 2, group=1, lo=0, hi=3,
              choices=choice(("0:4-20 mA", "0:4～20mA"), ("1:0-20 mA", "1:0～20mA"), ("2:1-5 V", "2:1～5V"),
                             ("3:0-10 V", "3:0～10V")), defaults=["0"]),
            p(f"{prefix}AIH", ("Input scale high", "入力スケール上限"), 0, group=1, dec=1, lo=-19999, hi=30000,
              defaults=["1000"]),
            p(f"{prefix}AIL", ("Input scale low", "入力スケール下限"), 0, group=1, dec=1, lo=-19999, hi=30000, defaults=["0"]),
            p(f"{prefix}AIF", ("Input filter", "入力フィルタ"), 0, group=1, dec=1, lo=0, hi=1000, unit=("s", "秒"),
              defaults=["0"]),
        ]
    if with_output:
        P += [
            p(f"{prefix}AOV", ("Analog output value", "アナログ出力値"), 0, group=2, dec=1, lo=-50, hi=1050, unit=pct,
              input_reg=True),
            p(f"{prefix}AOT", ("Analog output type", "アナログ出力種類"), 2, group=2, lo=0, hi=2,
              choices=choice(("0:4-20 mA", "0:4～20mA"), ("1:0-10 V", "1:0～10V"), ("2:1-5 V", "2:1～5V")), defaults=["0"]),
            p(f"{prefix}AOS", ("Output source", "出力元"), 3, group=2, lo=0, hi=64, defaults=["0"]),
            p(f"{prefix}AOH", ("Output high limit", "出力上限"), 0, group=2, dec=1, lo=-50, hi=1050, unit=pct,
              defaults=["1000"]),
            p(f"{prefix}AOL", ("Output low limit", "出力下限"), 0, group=2, dec=1, lo=-50, hi=1050, unit=pct, defaults=["0"]),
        ]
    return P


# ---------------------------------------------------------------- Communication modules (families 1, 2)
def com_params(prefix, fieldbus):
    mw = dict(per_channel=False, group=1)
    P = [
        p(f"{prefix}ADR", ("Host address", "上位アドレス"), 3, lo=1, hi=247 if not fieldbus else 125, defaults=["1"], **mw),
        p(f"{prefix}BPS", ("Host baud rate", "上位通信速度"), 2, lo=0, hi=3,
          choices=choice(("0:9600", "0:9600"), ("1:19200", "1:19200"), ("2:38400", "2:38400"), ("3:115200", "3:115200")),
          defaults=["1"], **mw),
        p(f"{prefix}TMO", ("Host time-out", "上位タイムアウト"), 3, lo=0, hi=600, unit=("s", "秒"), defaults=["10"], **mw),
        p(f"{prefix}MAP", ("Data map", "データマップ"), 4, lo=0, hi=0xFFFF, defaults=["0001"], **mw),
        p(f"{prefix}STN", ("Controllers connected", "接続調節計数"), 3, lo=1, hi=16, defaults=["4"], **mw),
    ]
    for c in range(1, 5):
        P += [p(f"{prefix}RD{c}", (f"Read block {c} start", f"読出しブロック{c}先頭"), 3, group=2, per_channel=False,
                lo=0, hi=65535, defaults=[str(40001 + 100 * c)])]
    P += [
        p(f"{prefix}SV", ("Loop set value", "ループ設定値"), 0, group=3, dec=1, lo=-1999, hi=9999, defaults=["0"]),
        p(f"{prefix}PV", ("Loop process value", "ループ測定値"), 0, group=3, dec=1, lo=-1999, hi=9999, input_reg=True),
        p(f"{prefix}RUN", ("Loop run", "ループ運転"), 2, group=3, lo=0, hi=1,
          choices=choice(("0:Stop", "0:停止"), ("1:Run", "1:運転")), defaults=["1"]),
    ]
    return P


def com_special_rows():
    """The rows families 1 and 2 read: the line-wide ones of the standard line, and the
    fourth setting."""
    rows = function_special_rows()
    rows.append(p("DISPIDX", ("Display text index", "表示テキスト番号"), 3, per_channel=False, group=90, in_main=False,
                  fixed_regs=[40991, 0, 0, 0]))
    return rows
