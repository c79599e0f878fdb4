#!/usr/bin/env python3
"""Writes the six sample setup files of this folder.

The English triple (setup_en.log, setup_modbus_en.log, setup_pwm_en.log) ends its lines
with LF, the Chinese triple (setup.log, setup_modbus.log, setup_pwm.log) with CR LF and is
encoded in code page 936 (GBK). The section markers are the same GBK bytes in all six
files. The committed files are what the program reads; run this script after changing
the models below:   python3 resources/setup/make_setup_files.py
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))

MEM_OPEN, MEM_CLOSE = "[内存]", "[内存结束]"
MODEL_OPEN, MODEL_CLOSE = "[型号]", "[型号结束]"
DEBUG_OPEN, DEBUG_CLOSE = "[调试]", "[调试结束]"

# Access words as the string tables spell them (read-only 190, default-only 211);
# "rw" / "读写" is any other text, so those entries can be written.
ACCESS = {
    "en": {"r": "r", "d": "d", "rw": "rw", "--": "--"},
    "zh": {"r": "只读", "d": "默认", "rw": "读写", "--": "--"},
}

# Names the Programming page finds its special entries by (string ids 181, 182, 183, 198).
LOCK = ("Lock", "锁标志")
BAUD = ("baud rate", "波特率")
ACK = ("Ack Level", "应答状态级别")
ID = ("ID", "ID")
PLACEHOLDER = ("--", "--")

# Identity block at addresses 0 to 8 of the instruction-protocol models.
def identity(fw_major, fw_minor, variant, model_major, model_minor, baud_index):
    return [
        (0, ("Firmware major", "固件主版本号"), 1, fw_major, -1, "EPROM", "r", -1, -1),
        (1, ("Firmware minor", "固件次版本号"), 1, fw_minor, -1, "EPROM", "r", -1, -1),
        (2, ("Byte order", "字节序"), 1, variant, -1, "EPROM", "r", -1, -1),
        (3, ("Model major", "型号主编号"), 1, model_major, -1, "EPROM", "r", -1, -1),
        (4, ("Model minor", "型号次编号"), 1, model_minor, -1, "EPROM", "r", -1, -1),
        (5, ID, 1, 1, -1, "EPROM", "rw", 0, 253),
        (6, BAUD, 1, baud_index, -1, "EPROM", "rw", 0, 12),
        (7, ("Return delay", "应答延时"), 1, 0, -1, "EPROM", "rw", 0, 254),
        (8, ACK, 1, 1, -1, "EPROM", "rw", 0, 1),
    ]

# Control block (motion block of seven bytes at 41) and the lock, then the 17-byte
# feedback block at 56..72 in the order the Debug page reads it.
def control_and_feedback(area_feedback, goal_min, goal_max):
    return [
        (40, ("Torque Enable", "扭矩开关"), 1, 0, -1, "SRAM", "rw", 0, 2),
        (41, ("Acc", "加速度"), 1, 0, -1, "SRAM", "rw", 0, 254),
        (42, ("Goal position", "目标位置"), 2, 0, 15, "SRAM", "rw", goal_min, goal_max),
        (44, ("Goal time", "运行时间"), 2, 0, 10, "SRAM", "rw", -1023, 1023),
        (46, ("Goal speed", "运行速度"), 2, 0, 15, "SRAM", "rw", -1, -1),
        (48, ("Torque limit", "转矩限制"), 2, 1000, -1, "SRAM", "rw", 0, 1000),
        (50, PLACEHOLDER, 2, 0, -1, "SRAM", "--", -1, -1),
        (52, PLACEHOLDER, 2, 0, -1, "SRAM", "--", -1, -1),
        (54, PLACEHOLDER, 1, 0, -1, "SRAM", "--", -1, -1),
        (55, LOCK, 1, 1, -1, "SRAM", "rw", 0, 1),
        (56, ("Present position", "当前位置"), 2, 0, 15, area_feedback, "r", -1, -1),
        (58, ("Present speed", "当前速度"), 2, 0, 15, area_feedback, "r", -1, -1),
        (60, ("Present load", "当前负载"), 2, 0, 10, area_feedback, "r", -1, -1),
        (62, ("Present voltage", "当前电压"), 1, 74, -1, area_feedback, "r", -1, -1),
        (63, ("Present temperature", "当前温度"), 1, 25, -1, area_feedback, "r", -1, -1),
        (64, ("Async write flag", "异步写标志"), 1, 0, -1, area_feedback, "r", -1, -1),
        (65, ("Servo status", "舵机状态"), 1, 0, -1, area_feedback, "r", -1, -1),
        (66, ("Moving", "移动标志"), 1, 0, -1, area_feedback, "r", -1, -1),
        (67, ("Present goal", "当前目标位置"), 2, 0, 15, area_feedback, "r", -1, -1),
        (69, ("Present current", "当前电流"), 2, 0, 15, area_feedback, "r", -1, -1),
        (71, ("Fast/slow speed", "快慢速度"), 2, 0, 15, area_feedback, "r", -1, -1),
    ]

# VX40: firmware 3.6, byte order 0, model 4.0, positions 0..4095.
VX40 = identity(3, 6, 0, 4, 0, 4) + [
    (9, ("Min angle limit", "最小角度限制"), 2, 0, -1, "EPROM", "rw", 0, 4094),
    (11, ("Max angle limit", "最大角度限制"), 2, 4095, -1, "EPROM", "rw", 1, 4095),
    (13, ("Max temperature", "最高温度限制"), 1, 70, -1, "EPROM", "rw", 0, 100),
    (14, ("Max voltage", "最高输入电压"), 1, 80, -1, "EPROM", "rw", 0, 254),
    (15, ("Min voltage", "最低输入电压"), 1, 40, -1, "EPROM", "rw", 0, 254),
    (16, ("Max torque", "最大扭矩"), 2, 1000, -1, "EPROM", "rw", 0, 1000),
    (18, ("Phase", "相位"), 1, 0, -1, "EPROM", "rw", 0, 255),
    (19, ("Unload condition", "卸载条件"), 1, 44, -1, "EPROM", "rw", 0, 255),
    (20, ("LED alarm condition", "LED报警条件"), 1, 47, -1, "EPROM", "rw", 0, 255),
    (21, ("P gain", "位置环P比例系数"), 1, 32, -1, "EPROM", "rw", 0, 254),
    (22, ("D gain", "位置环D微分系数"), 1, 32, -1, "EPROM", "rw", 0, 254),
    (23, ("I gain", "位置环I积分系数"), 1, 0, -1, "EPROM", "rw", 0, 254),
    (24, ("Min start force", "最小启动力"), 2, 16, -1, "EPROM", "rw", 0, 1000),
    (26, ("CW dead band", "顺时针不灵敏区"), 1, 1, -1, "EPROM", "rw", 0, 32),
    (27, ("CCW dead band", "逆时针不灵敏区"), 1, 1, -1, "EPROM", "rw", 0, 32),
    (28, ("Protection current", "保护电流"), 2, 500, -1, "EPROM", "rw", 0, 511),
    (30, ("Angle resolution", "角度分辨率"), 1, 1, -1, "EPROM", "rw", 1, 3),
    (31, ("Position offset", "位置校正"), 2, 0, 11, "EPROM", "rw", -2047, 2047),
    (33, ("Work mode", "运行模式"), 1, 0, -1, "EPROM", "rw", 0, 3),
    (34, ("Protect torque", "保护扭矩"), 1, 20, -1, "EPROM", "rw", 0, 100),
    (35, ("Protect time", "保护时间"), 1, 200, -1, "EPROM", "rw", 0, 254),
    (36, ("Overload torque", "过载扭矩"), 1, 80, -1, "EPROM", "rw", 0, 100),
    (37, ("Speed P gain", "速度闭环P比例系数"), 1, 10, -1, "EPROM", "rw", 0, 100),
    (38, ("Overcurrent time", "过流保护时间"), 1, 200, -1, "EPROM", "rw", 0, 254),
    (39, ("Speed I gain", "速度闭环I积分系数"), 1, 10, -1, "EPROM", "rw", 0, 254),
] + control_and_feedback("SRAM", -30719, 30719) + [
    (80, ("Factory zero", "出厂零位"), 2, 2048, -1, "DEFAULT", "d", 0, 4095),
    (82, ("Current sensor offset", "电流零点偏移"), 1, 0, -2, "DEFAULT", "d", -128, 127),
    (83, ("Temperature offset", "温度校正"), 1, 0, 7, "DEFAULT", "d", -127, 127),
    (84, ("Hardware version", "硬件版本"), 1, 2, -1, "DEFAULT", "r", -1, -1),
]

# VX62: firmware 5.2, byte order 1, model 6.2, positions 0..1023 (position divisor 4).
# Feedback in SRAM1, extended saved settings in EPROM1.
VX62 = identity(5, 2, 1, 6, 2, 4) + [
    (9, ("Min angle limit", "最小角度限制"), 2, 0, -1, "EPROM", "rw", 0, 1022),
    (11, ("Max angle limit", "最大角度限制"), 2, 1023, -1, "EPROM", "rw", 1, 1023),
    (13, ("Max temperature", "最高温度限制"), 1, 80, -1, "EPROM", "rw", 0, 100),
    (14, ("Max voltage", "最高输入电压"), 1, 140, -1, "EPROM", "rw", 0, 254),
    (15, ("Min voltage", "最低输入电压"), 1, 55, -1, "EPROM", "rw", 0, 254),
    (16, ("Max torque", "最大扭矩"), 2, 1023, -1, "EPROM", "rw", 0, 1023),
    (18, ("P gain", "位置环P比例系数"), 1, 32, -1, "EPROM", "rw", 0, 254),
    (19, ("D gain", "位置环D微分系数"), 1, 0, -1, "EPROM", "rw", 0, 254),
    (20, ("I gain", "位置环I积分系数"), 1, 0, -1, "EPROM", "rw", 0, 254),
    (21, ("Compliance margin", "柔性余量"), 1, 1, -1, "EPROM", "rw", 0, 254),
    (22, ("Punch", "启动力"), 2, 32, -1, "EPROM", "rw", 0, 1023),
] + control_and_feedback("SRAM1", 0, 1023) + [
    (80, ("Factory zero", "出厂零位"), 2, 512, -1, "DEFAULT", "d", 0, 1023),
    (82, ("Current sensor offset", "电流零点偏移"), 1, 0, -2, "DEFAULT", "d", -128, 127),
    (83, ("Hardware version", "硬件版本"), 1, 3, -1, "DEFAULT", "r", -1, -1),
    (90, ("Position offset", "位置校正"), 2, 0, 11, "EPROM1", "rw", -1023, 1023),
    (92, ("Protection current", "保护电流"), 2, 400, -1, "EPROM1", "rw", 0, 511),
    (94, ("Overload torque", "过载扭矩"), 1, 80, -1, "EPROM1", "rw", 0, 100),
    (95, ("Protect time", "保护时间"), 1, 200, -1, "EPROM1", "rw", 0, 254),
    (96, ("Speed P gain", "速度闭环P比例系数"), 1, 10, -1, "EPROM1", "rw", 0, 100),
    (97, ("Speed I gain", "速度闭环I积分系数"), 1, 10, -1, "EPROM1", "rw", 0, 254),
]

# VXP9 pulse-width servo: address 0 model 9, 1 firmware minor 1, 2 firmware major 7,
# 3 id. Byte order 0, plain two's complement values, 16-byte feedback block at 40..55.
VXP9 = [
    (0, ("Model", "型号"), 1, 9, -1, "EPROM", "r", -1, -1),
    (1, ("Firmware minor", "固件次版本号"), 1, 1, -1, "EPROM", "r", -1, -1),
    (2, ("Firmware major", "固件主版本号"), 1, 7, -1, "EPROM", "r", -1, -1),
    (3, ID, 1, 1, -1, "EPROM", "rw", 0, 253),
    (4, ("Min pulse width", "最小脉宽"), 2, 500, -1, "EPROM", "rw", 500, 1500),
    (6, ("Max pulse width", "最大脉宽"), 2, 2500, -1, "EPROM", "rw", 1500, 2500),
    (8, ("PWM period", "PWM周期"), 2, 20000, -1, "EPROM", "rw", 3000, 20000),
    (10, ("Neutral trim", "中位微调"), 1, 0, -2, "EPROM", "rw", -100, 100),
    (11, ("Dead band", "死区"), 1, 2, -1, "EPROM", "rw", 0, 50),
    (12, BAUD, 1, 4, -1, "EPROM", "rw", 0, 12),
    (13, ACK, 1, 1, -1, "EPROM", "rw", 0, 1),
    (32, ("Torque Enable", "扭矩开关"), 1, 0, -1, "SRAM", "rw", 0, 1),
    (33, LOCK, 1, 1, -1, "SRAM", "rw", 0, 1),
    (34, ("Goal position", "目标位置"), 2, 2048, -1, "SRAM", "rw", 0, 4095),
    (36, ("Goal speed", "运行速度"), 2, 0, -1, "SRAM", "rw", 0, 3000),
    (38, PLACEHOLDER, 2, 0, -1, "SRAM", "--", -1, -1),
    (40, ("Present position", "当前位置"), 2, 2048, -1, "SRAM1", "r", -1, -1),
    (42, ("Present speed", "当前速度"), 2, 0, -1, "SRAM1", "r", -1, -1),
    (44, ("Present load", "当前负载"), 2, 0, -1, "SRAM1", "r", -1, -1),
    (46, ("Present goal", "当前目标位置"), 2, 2048, -1, "SRAM1", "r", -1, -1),
    (48, ("Present temperature", "当前温度"), 1, 25, -1, "SRAM1", "r", -1, -1),
    (49, ("Present voltage", "当前电压"), 1, 50, -1, "SRAM1", "r", -1, -1),
    (50, ("Present current", "当前电流"), 2, 0, -1, "SRAM1", "r", -1, -1),
    (52, ("Moving", "移动标志"), 1, 0, -1, "SRAM1", "r", -1, -1),
    (53, ("Servo status", "舵机状态"), 1, 0, -1, "SRAM1", "r", -1, -1),
    (54, ("Fast/slow speed", "快慢速度"), 2, 0, -1, "SRAM1", "r", -1, -1),
    (60, ("Pulse trim", "脉宽校正"), 2, 0, 15, "DEFAULT", "d", -500, 500),
    (62, ("Hardware version", "硬件版本"), 1, 1, -1, "DEFAULT", "r", -1, -1),
]

# VXM8 Modbus servo: register 0 firmware 210 (2.10), register 1 model 805 (8.5),
# register 10 id, register 11 baud-rate index (2: 115200) with parity in the high nibble.
VXM8 = [
    (0, ("Firmware version", "固件版本"), 1, 210, -1, "INFO", "r", -1, -1),
    (1, ("Model number", "型号编号"), 1, 805, -1, "INFO", "r", -1, -1),
    (2, ("Serial number", "序列号"), 1, 1001, -1, "INFO", "d", 0, 65535),
    (3, ("Production date", "生产日期"), 1, 2412, -1, "INFO", "d", 0, 9999),
    (10, ID, 1, 1, -1, "EPROM", "rw", 1, 247),
    (11, BAUD, 1, 2, -1, "EPROM", "rw", 0, 41),
    (12, ("Return delay", "应答延时"), 1, 0, -1, "EPROM", "rw", 0, 254),
    (13, ("Min angle limit", "最小角度限制"), 1, 0, -1, "EPROM", "rw", 0, 4094),
    (14, ("Max angle limit", "最大角度限制"), 1, 4095, -1, "EPROM", "rw", 1, 4095),
    (15, ("Max temperature", "最高温度限制"), 1, 70, -1, "EPROM", "rw", 0, 100),
    (16, ("Max voltage", "最高输入电压"), 1, 140, -1, "EPROM", "rw", 0, 254),
    (17, ("Min voltage", "最低输入电压"), 1, 60, -1, "EPROM", "rw", 0, 254),
    (18, ("Max torque", "最大扭矩"), 1, 1000, -1, "EPROM", "rw", 0, 1000),
    (19, ("P gain", "位置环P比例系数"), 1, 32, -1, "EPROM", "rw", 0, 254),
    (20, ("D gain", "位置环D微分系数"), 1, 32, -1, "EPROM", "rw", 0, 254),
    (21, ("I gain", "位置环I积分系数"), 1, 0, -1, "EPROM", "rw", 0, 254),
    (22, ("Position offset", "位置校正"), 1, 0, -2, "EPROM", "rw", -2047, 2047),
    (23, ("Work mode", "运行模式"), 1, 0, -1, "EPROM", "rw", 0, 3),
    (128, ("Goal position", "目标位置"), 1, 2048, -1, "SRAM", "rw", 0, 4095),
    (129, ("Torque Enable", "扭矩开关"), 1, 0, -1, "SRAM", "rw", 0, 1),
    (130, ("Acc", "加速度"), 1, 0, -1, "SRAM", "rw", 0, 254),
    (131, ("Goal speed", "运行速度"), 1, 0, -1, "SRAM", "rw", 0, 3400),
    (132, ("Torque limit", "转矩限制"), 1, 1000, -1, "SRAM", "rw", 0, 1000),
    (133, LOCK, 1, 1, -1, "SRAM", "rw", 0, 1),
    (256, ("Servo status", "舵机状态"), 1, 0, -1, "RONLY", "r", -1, -1),
    (257, ("Present position", "当前位置"), 1, 2048, -1, "RONLY", "r", -1, -1),
    (258, ("Present speed", "当前速度"), 1, 0, -2, "RONLY", "r", -1, -1),
    (259, ("Present load", "当前负载"), 1, 0, -2, "RONLY", "r", -1, -1),
    (260, ("Present voltage", "当前电压"), 1, 120, -1, "RONLY", "r", -1, -1),
    (261, ("Present temperature", "当前温度"), 1, 25, -1, "RONLY", "r", -1, -1),
    (262, ("Moving", "移动标志"), 1, 0, -1, "RONLY", "r", -1, -1),
    (263, ("Present current", "当前电流"), 1, 0, -2, "RONLY", "r", -1, -1),
    (264, ("Present goal", "当前目标位置"), 1, 2048, -1, "RONLY", "r", -1, -1),
    (265, ("Fast/slow speed", "快慢速度"), 1, 0, -2, "RONLY", "r", -1, -1),
    (300, ("Factory zero", "出厂零位"), 1, 2048, -1, "DEFAULT", "d", 0, 4095),
    (301, ("Current sensor offset", "电流零点偏移"), 1, 0, -2, "DEFAULT", "d", -500, 500),
    (302, ("Hardware version", "硬件版本"), 1, 1, -1, "DEFAULT", "r", -1, -1),
]

TEXT = {
    "en": {
        "intro": [
            "Vexa setup file: servo models, their memory tables and Debug page settings.",
            "Only the lines between the section markers are read; everything else, like",
            "this text, is a comment.",
            "",
            "Memory section: a key line 'firmware major,lowest minor,highest minor,variant'",
            "(variant 255 = any), then one line per parameter:",
            "address,name,size,value,sign,area,access,minimum,maximum",
            "sign -1 unsigned, -2 signed byte, n sign bit n; minimum/maximum -1 = no limit;",
            "access r = read-only, d = default (hidden mode only). The list ends with NULL.",
        ],
        "model": [
            "Model section: 'model major,lowest minor,highest minor,variant,name'.",
        ],
        "debug": [
            "Debug section: firmware major, lowest minor, highest minor, variant, feedback",
            "start, feedback end, motion block, position divisor, speed scale (tenths),",
            "goal address of pulse-width servos, torque-enable address, two spare values.",
        ],
        "end": ["End of file."],
    },
    "zh": {
        "intro": [
            "Vexa配置文件: 舵机型号, 内存表和调试页面的设置.",
            "只读取段标记之间的行; 其余的行(例如这段文字)都是注释.",
            "",
            "内存段: 关键行 '固件主版本号,最小次版本号,最大次版本号,变体' (变体255表示任意),",
            "然后每个参数一行: 地址,名称,字节数,数值,符号,存储区域,读写,最小值,最大值",
            "符号 -1 无符号, -2 有符号字节, n 表示第n位为符号位; 最小值/最大值 -1 表示不限制;",
            "读写: 只读 / 默认(仅隐藏模式可写). 列表以 NULL 结束.",
        ],
        "model": [
            "型号段: '型号主编号,最小次编号,最大次编号,变体,名称'.",
        ],
        "debug": [
            "调试段: 固件主版本号, 最小次版本号, 最大次版本号, 变体, 反馈起始地址, 反馈结束地址,",
            "运动块地址, 位置除数, 速度比例(十分之一), PWM舵机目标地址, 扭矩开关地址, 两个备用值.",
        ],
        "end": ["文件结束."],
    },
}

NAMES = {
    "vx40": ("VX40 servo (4096 steps)", "VX40 舵机(4096步)"),
    "vx40hv": ("VX40-HV servo (4096 steps)", "VX40-HV 高压舵机(4096步)"),
    "vx62": ("VX62 servo (1024 steps)", "VX62 舵机(1024步)"),
    "vxp9": ("VXP9 pulse-width servo", "VXP9 PWM舵机"),
    "vxm8": ("VXM8 Modbus servo", "VXM8 Modbus舵机"),
}


def memory_section(lang, key, rows, comment):
    i = 0 if lang == "en" else 1
    lines = [comment[i], MEM_OPEN, ",".join(str(k) for k in key)]
    for addr, name, size, value, sign, area, access, lo, hi in rows:
        lines.append(",".join(str(x) for x in (
            addr, name[i], size, value, sign, area, ACCESS[lang][access], lo, hi)))
    lines += ["NULL", MEM_CLOSE, ""]
    return lines


def model_section(lang, models):
    i = 0 if lang == "en" else 1
    lines = TEXT[lang]["model"] + [MODEL_OPEN]
    for key, name in models:
        lines.append(",".join(str(k) for k in key) + "," + NAMES[name][i])
    return lines + [MODEL_CLOSE, ""]


def debug_section(lang, rows):
    lines = TEXT[lang]["debug"] + [DEBUG_OPEN]
    lines += [",".join(str(v) for v in row) for row in rows]
    return lines + [DEBUG_CLOSE, ""]


def write(name, lang, lines):
    eol = "\n" if lang == "en" else "\r\n"
    data = eol.join(lines + TEXT[lang]["end"]) + eol
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data.encode("gbk"))


def main():
    for lang, suffix in (("en", "_en"), ("zh", "")):
        intro = TEXT[lang]["intro"] + [""]
        write(f"setup{suffix}.log", lang, intro
              + memory_section(lang, (3, 0, 20, 255), VX40,
                               ("VX40, firmware 3.0 to 3.20, any variant",
                                "VX40, 固件 3.0 至 3.20, 任意变体"))
              + memory_section(lang, (5, 0, 30, 1), VX62,
                               ("VX62, firmware 5.0 to 5.30, variant 1 (byte order 1)",
                                "VX62, 固件 5.0 至 5.30, 变体 1 (字节序 1)"))
              + model_section(lang, [((4, 0, 9, 0), "vx40"), ((4, 10, 19, 0), "vx40hv"),
                                     ((6, 0, 9, 1), "vx62")])
              + debug_section(lang, [(3, 0, 20, 0, 56, 72, 41, 1, 4, 42, 40, 0, 0),
                                     (5, 0, 30, 1, 56, 72, 41, 4, 3, 42, 40, 0, 0)]))
        write(f"setup_pwm{suffix}.log", lang, intro
              + memory_section(lang, (7, 0, 9, 255), VXP9,
                               ("VXP9, firmware 7.0 to 7.9, any variant (a pulse-width device's identity read"
                                " back has no variant byte)",
                                "VXP9, 固件 7.0 至 7.9, 任意变体"))
              + model_section(lang, [((9, 0, 9, 0), "vxp9")])
              + debug_section(lang, [(7, 0, 9, 0, 40, 55, 0, 1, 4, 34, 32, 0, 0)]))
        write(f"setup_modbus{suffix}.log", lang, intro
              + memory_section(lang, (2, 0, 99, 255), VXM8,
                               ("VXM8, firmware 2.0 to 2.99, any variant",
                                "VXM8, 固件 2.0 至 2.99, 任意变体"))
              + model_section(lang, [((8, 0, 9, 1), "vxm8")])
              + debug_section(lang, [(2, 0, 99, 1, 256, 265, 128, 1, 4, 128, 129, 0, 0)]))


if __name__ == "__main__":
    main()
