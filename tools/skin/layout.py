"""The one layout table of the four skinned windows and the About box.

Every control is listed once, with its rectangle in dialog units. The skin
(INI files and pictures) and the dialog templates are both generated from
this table, so a control sits at the same pixel in the picture, in the INI
file and in the real dialog.
"""

from dataclasses import dataclass, field

# Dialog base units of the templates' font (MS Shell Dlg 8 pt) at 96 DPI:
# 6 px per 4 horizontal units and 13 px per 8 vertical units.
BASE_X = 6
BASE_Y = 13
FONT_POINTS = 8
FONT_FACE = "MS Shell Dlg"


def mul_div(value, num, den):
    """Rounds like the system's MulDiv, which the dialog manager uses."""
    q = abs(value) * num
    r = (q + den // 2) // den
    return -r if value < 0 else r


# Display scales with a set of their own, in per cent; 100 is the skin's own
# folder, every other one a subfolder named by its number.
SCALES = (100, 125, 150, 175, 200)


def scaled(value, pct):
    """A length in pixels at a display scale, halves away from zero."""
    return mul_div(value, pct, 100)


def dlu_x(value, pct=100):
    return mul_div(value, BASE_X * pct, 400)


def dlu_y(value, pct=100):
    return mul_div(value, BASE_Y * pct, 800)


def to_px(rect, pct=100):
    """Dialog units to pixels with the base units grown by the scale, as the
    dialog manager does with a font that grows with the display."""
    x, y, w, h = rect
    return (dlu_x(x, pct), dlu_y(y, pct), dlu_x(w, pct), dlu_y(h, pct))


# Faces name the status image of each of the five states, in the order
# normal, hover, pressed, disabled, marked. "1b" is the second set's image 1.
KEY_FACES = (1, 2, 3, 1, 4)
PAD_FACES = ("1b", "2b", "3b", "1b", "4b")
CMD_FACES = (1, 2, 3, 1, 1)
APPLY_MAIN_FACES = (1, 2, 3, 4, 1)
LAMP_FACES = (1, 1, 1, 1, 2)
DLG_FACES = (1, 2, 3, 4, 1)
DLG_MARK_FACES = (1, 2, 3, 4, 5)


@dataclass(frozen=True)
class Control:
    id: int
    name: str              # C++ constant name, stable
    caption: str
    rect: tuple            # dialog units: x, y, w, h
    skin_key: str = ""     # BUTTONINFO key, "" when not placed from the skin
    faces: tuple = ()      # five status images; () for position-only controls
    look: str = ""         # how the picture draws it
    legend: tuple = ()     # lines drawn on a key cap (top to bottom) or a button label
    kind: str = "skin"     # skin, radio, check, edit, memo, combo, list, defbutton, text, icon, link
    hidden: bool = False
    disabled: bool = False
    make_code: int = 0     # keys only
    group: str = ""        # keys only: macro, keyboard, keypad

    @property
    def px(self):
        return to_px(self.rect)

    def px_at(self, pct):
        return to_px(self.rect, pct)

    @property
    def cap(self):
        return self.cap_at(100)

    def cap_at(self, pct):
        """Where a key cap is drawn: one pixel (at 1x) in from each side of the button,
        so that caps whose rectangles are only a unit apart still stand apart."""
        x, y, w, h = self.px_at(pct)
        inset = scaled(1, pct)
        return (x + inset, y, w - 2 * inset, h) if self.look == "key" else (x, y, w, h)


@dataclass
class Window:
    template: int
    name: str              # C++ constant name of the template
    size: tuple            # dialog units
    title: str
    ini: str               # "" for a window without skin
    prefix: str            # picture file prefix
    images: int            # status images in the main set
    second_set: bool = False
    controls: list = field(default_factory=list)
    skinned: bool = True

    @property
    def px_size(self):
        return self.px_size_at(100)

    def px_size_at(self, pct):
        return (dlu_x(self.size[0], pct), dlu_y(self.size[1], pct))


def key_name(n):
    return "KEY_%03X" % n


# --- main window, template 102 ---------------------------------------------

# (id, caption in the template, rect, win make code, skin number, constant, legend)
_KEYBOARD = [
    (1058, "A", (79, 146, 22, 13), 0x01E, 0x01E, "A", ("A",)),
    (1075, "B", (185, 169, 22, 13), 0x030, 0x030, "B", ("B",)),
    (1073, "C", (137, 169, 22, 13), 0x02E, 0x02E, "C", ("C",)),
    (1060, "D", (127, 146, 22, 13), 0x020, 0x020, "D", ("D",)),
    (1046, "E", (119, 123, 22, 13), 0x012, 0x012, "E", ("E",)),
    (1061, "F", (151, 146, 22, 13), 0x021, 0x021, "F", ("F",)),
    (1062, "G", (175, 146, 22, 13), 0x022, 0x022, "G", ("G",)),
    (1063, "H", (199, 146, 22, 13), 0x023, 0x023, "H", ("H",)),
    (1051, "I", (239, 123, 22, 13), 0x017, 0x017, "I", ("I",)),
    (1064, "J", (223, 146, 22, 13), 0x024, 0x024, "J", ("J",)),
    (1065, "K", (247, 146, 22, 13), 0x025, 0x025, "K", ("K",)),
    (1066, "L", (271, 146, 22, 13), 0x026, 0x026, "L", ("L",)),
    (1077, "M", (233, 169, 22, 13), 0x032, 0x032, "M", ("M",)),
    (1076, "N", (209, 169, 22, 13), 0x031, 0x031, "N", ("N",)),
    (1052, "O", (263, 123, 22, 13), 0x018, 0x018, "O", ("O",)),
    (1053, "P", (287, 123, 22, 13), 0x019, 0x019, "P", ("P",)),
    (1044, "Q", (71, 123, 22, 13), 0x010, 0x010, "Q", ("Q",)),
    (1047, "R", (143, 123, 22, 13), 0x013, 0x013, "R", ("R",)),
    (1059, "S", (103, 146, 22, 13), 0x01F, 0x01F, "S", ("S",)),
    (1048, "T", (167, 123, 22, 13), 0x014, 0x014, "T", ("T",)),
    (1050, "U", (215, 123, 22, 13), 0x016, 0x016, "U", ("U",)),
    (1074, "V", (161, 169, 22, 13), 0x02F, 0x02F, "V", ("V",)),
    (1045, "W", (95, 123, 22, 13), 0x011, 0x011, "W", ("W",)),
    (1072, "X", (113, 169, 22, 13), 0x02D, 0x02D, "X", ("X",)),
    (1049, "Y", (191, 123, 22, 13), 0x015, 0x015, "Y", ("Y",)),
    (1071, "Z", (89, 169, 22, 13), 0x02C, 0x02C, "Z", ("Z",)),
    (1030, "1!", (61, 100, 22, 13), 0x002, 0x002, "1", ("!", "1")),
    (1031, "2@", (85, 100, 22, 13), 0x003, 0x003, "2", ("@", "2")),
    (1032, "3#", (109, 100, 22, 13), 0x004, 0x004, "3", ("#", "3")),
    (1033, "4$", (133, 100, 22, 13), 0x005, 0x005, "4", ("$", "4")),
    (1034, "5%", (157, 100, 22, 13), 0x006, 0x006, "5", ("%", "5")),
    (1035, "6^", (181, 100, 22, 13), 0x007, 0x007, "6", ("^", "6")),
    (1036, "7&", (205, 100, 22, 13), 0x008, 0x008, "7", ("&", "7")),
    (1037, "8*", (229, 100, 22, 13), 0x009, 0x009, "8", ("*", "8")),
    (1038, "9(", (253, 100, 22, 13), 0x00A, 0x00A, "9", ("(", "9")),
    (1039, "0)", (277, 100, 22, 13), 0x00B, 0x00B, "0", (")", "0")),
    (1070, "Enter", (342, 146, 53, 13), 0x01C, 0x01C, "ENTER", ("Enter",)),
    (1022, "Esc", (40, 70, 22, 13), 0x001, 0x001, "ESC", ("Esc",)),
    (1043, "<--", (373, 100, 22, 13), 0x00E, 0x00E, "BACKSPACE", ("\u2190",)),
    (1056, "Tab", (38, 123, 31, 13), 0x00F, 0x00F, "TAB", ("Tab",)),
    (1090, "", (134, 192, 137, 13), 0x039, 0x039, "SPACE", ()),
    (1040, "-_", (301, 100, 22, 13), 0x00C, 0x00C, "MINUS", ("_", "-")),
    (1041, "=+", (325, 100, 22, 13), 0x00D, 0x00D, "EQUALS", ("+", "=")),
    (1054, "[{", (311, 123, 22, 13), 0x01A, 0x01A, "LBRACKET", ("{", "[")),
    (1055, "]}", (335, 123, 22, 13), 0x01B, 0x01B, "RBRACKET", ("}", "]")),
    (1042, "\\|", (349, 100, 22, 13), 0x02B, 0x02B, "BACKSLASH", ("|", "\\")),
    (1067, ";:", (295, 146, 22, 13), 0x027, 0x027, "SEMICOLON", (":", ";")),
    (1068, "'\"", (319, 146, 22, 13), 0x028, 0x028, "QUOTE", ("\"", "'")),
    (1029, "`~", (37, 100, 22, 13), 0x029, 0x029, "GRAVE", ("~", "`")),
    (1078, ",<", (257, 169, 22, 13), 0x033, 0x033, "COMMA", ("<", ",")),
    (1079, ".>", (281, 169, 22, 13), 0x034, 0x034, "PERIOD", (">", ".")),
    (1080, "/?", (305, 169, 22, 13), 0x035, 0x035, "SLASH", ("?", "/")),
    (1010, "F1", (72, 70, 22, 13), 0x03B, 0x03B, "F1", ("F1",)),
    (1011, "F2", (98, 70, 22, 13), 0x03C, 0x03C, "F2", ("F2",)),
    (1012, "F3", (124, 70, 22, 13), 0x03D, 0x03D, "F3", ("F3",)),
    (1013, "F4", (150, 70, 22, 13), 0x03E, 0x03E, "F4", ("F4",)),
    (1014, "F5", (190, 70, 22, 13), 0x03F, 0x03F, "F5", ("F5",)),
    (1015, "F6", (214, 70, 22, 13), 0x040, 0x040, "F6", ("F6",)),
    (1023, "F7", (238, 70, 22, 13), 0x041, 0x041, "F7", ("F7",)),
    (1024, "F8", (262, 70, 22, 13), 0x042, 0x042, "F8", ("F8",)),
    (1025, "F9", (301, 70, 22, 13), 0x043, 0x043, "F9", ("F9",)),
    (1026, "F10", (325, 70, 22, 13), 0x044, 0x044, "F10", ("F10",)),
    (1027, "F11", (349, 70, 22, 13), 0x057, 0x057, "F11", ("F11",)),
    (1028, "F12", (373, 70, 22, 13), 0x058, 0x058, "F12", ("F12",)),
    (1091, "Print", (410, 70, 26, 13), 0x137, 0x0B7, "PRINT", ("PrtSc",)),
    (1093, "Pause", (464, 70, 26, 13), 0x045, 0x045, "PAUSE", ("Pause",)),
    (1094, "Insert", (410, 100, 26, 13), 0x152, 0x0D2, "INSERT", ("Ins",)),
    (1097, "Delete", (410, 123, 26, 13), 0x153, 0x0D3, "DELETE", ("Del",)),
    (1095, "Home", (437, 100, 26, 13), 0x147, 0x0C7, "HOME", ("Home",)),
    (1098, "End", (437, 123, 26, 13), 0x14F, 0x0CF, "END", ("End",)),
    (1096, "Page Up", (464, 100, 26, 13), 0x149, 0x0C9, "PAGE_UP", ("PgUp",)),
    (1099, "Page Down", (464, 123, 26, 13), 0x151, 0x0D1, "PAGE_DOWN", ("PgDn",)),
    (1103, "\u2191", (439, 169, 26, 13), 0x148, 0x0C8, "UP", ("\u2191",)),
    (1101, "\u2193", (439, 192, 26, 13), 0x150, 0x0D0, "DOWN", ("\u2193",)),
    (1100, "\u2190", (412, 192, 26, 13), 0x14B, 0x0CB, "LEFT", ("\u2190",)),
    (1102, "\u2192", (466, 192, 26, 13), 0x14D, 0x0CD, "RIGHT", ("\u2192",)),
    (1092, "Scroll", (437, 70, 26, 13), 0x046, 0x046, "SCROLL", ("ScrLk",)),
    (1069, "CapsLock", (38, 146, 39, 13), 0x03A, 0x03A, "CAPS_LOCK", ("Caps",)),
    (1088, "App", (329, 192, 26, 13), 0x15D, 0x0DD, "APP", ("Menu",)),
    (1083, "Ctrl", (37, 192, 39, 13), 0x01D, 0x01D, "LCTRL", ("Ctrl",)),
    (1089, "Ctrl", (357, 192, 39, 13), 0x11D, 0x09D, "RCTRL", ("Ctrl",)),
    (1082, "Shift", (37, 169, 50, 13), 0x02A, 0x02A, "LSHIFT", ("Shift",)),
    (1081, "Shift", (329, 169, 68, 13), 0x036, 0x036, "RSHIFT", ("Shift",)),
    (1085, "Alt", (106, 192, 26, 13), 0x038, 0x038, "LALT", ("Alt",)),
    (1086, "Alt", (273, 192, 26, 13), 0x138, 0x0B8, "RALT", ("Alt",)),
    (1084, "Win", (78, 192, 26, 13), 0x15B, 0x0DB, "LWIN", ("Win",)),
    (1087, "Win", (301, 192, 26, 13), 0x15C, 0x0DC, "RWIN", ("Win",)),
]

_KEYPAD = [
    (1016, "D1", (100, 31, 22, 13), 0x03E, 0x23E, "D1", ("D1",)),
    (1017, "D2", (126, 31, 22, 13), 0x03F, 0x23F, "D2", ("D2",)),
    (1018, "D3", (152, 31, 22, 13), 0x040, 0x240, "D3", ("D3",)),
    (1019, "D4", (99, 48, 22, 13), 0x03B, 0x23B, "D4", ("D4",)),
    (1020, "D5", (126, 48, 22, 13), 0x03C, 0x23C, "D5", ("D5",)),
    (1021, "D6", (152, 48, 22, 13), 0x03D, 0x23D, "D6", ("D6",)),
    (1115, "1E", (509, 169, 22, 13), 0x04F, 0x24F, "PAD_1", ("1", "End")),
    (1116, "2\u2193", (533, 169, 22, 13), 0x050, 0x250, "PAD_2", ("2", "\u2193")),
    (1117, "3D", (557, 169, 22, 13), 0x051, 0x251, "PAD_3", ("3", "PgDn")),
    (1112, "4\u2190", (509, 146, 22, 13), 0x04B, 0x24B, "PAD_4", ("4", "\u2190")),
    (1113, "5", (533, 146, 22, 13), 0x04C, 0x24C, "PAD_5", ("5",)),
    (1114, "6\u2192", (557, 146, 22, 13), 0x04D, 0x24D, "PAD_6", ("6", "\u2192")),
    (1108, "7H", (509, 123, 22, 13), 0x047, 0x247, "PAD_7", ("7", "Home")),
    (1109, "8\u2191", (533, 123, 22, 13), 0x048, 0x248, "PAD_8", ("8", "\u2191")),
    (1110, "9U", (557, 123, 22, 13), 0x049, 0x249, "PAD_9", ("9", "PgUp")),
    (1120, "0", (509, 192, 45, 13), 0x052, 0x252, "PAD_0", ("0", "Ins")),
    (1104, "Num", (510, 100, 22, 13), 0x145, 0x2C5, "PAD_NUM_LOCK", ("Num",)),
    (1118, "Enter", (581, 168, 22, 37), 0x11C, 0x29C, "PAD_ENTER", ("Enter",)),
    (1119, ".D", (557, 192, 22, 13), 0x053, 0x253, "PAD_DECIMAL", (".", "Del")),
    (1105, "/", (534, 100, 22, 13), 0x135, 0x2B5, "PAD_DIVIDE", ("/",)),
    (1106, "*", (558, 100, 22, 13), 0x037, 0x237, "PAD_MULTIPLY", ("*",)),
    (1107, "-", (582, 100, 22, 13), 0x04A, 0x24A, "PAD_SUBTRACT", ("\u2212",)),
    (1111, "+", (581, 122, 22, 37), 0x04E, 0x24E, "PAD_ADD", ("+",)),
]

WEB_ADDRESS = "http://www.example.com/"


def _main_window():
    w = Window(102, "kDlgMain", (611, 304), "Vortek\u952e\u76d8\u8bbe\u5b9a", "Main.ini", "Main", 4,
               second_set=True)
    c = w.controls
    for i in range(5):
        c.append(Control(1000 + i, "kKeyMacro%d" % (i + 1), "A%d" % (i + 1), (7, 100 + 23 * i, 22, 13),
                         key_name(0x100 + i), KEY_FACES, "key", ("A%d" % (i + 1), "B%d" % (i + 1)),
                         group="macro"))
    for (cid, cap, rect, code, sk, const, legend) in _KEYBOARD:
        c.append(Control(cid, "kKey" + "".join(p.capitalize() for p in const.split("_")), cap, rect,
                         key_name(sk), KEY_FACES, "key", legend, make_code=code, group="keyboard"))
    for (cid, cap, rect, code, sk, const, legend) in _KEYPAD:
        c.append(Control(cid, "kKey" + "".join(p.capitalize() for p in const.split("_")), cap, rect,
                         key_name(sk), PAD_FACES, "key", legend, make_code=code, group="keypad"))
    c += [
        # Upper part of the L-shaped Enter: never shown, its command counts as Enter.
        Control(1057, "kKeyEnterUpper", "", (359, 122, 36, 25), kind="skin", hidden=True, disabled=True),
        Control(1121, "kWebLink", WEB_ADDRESS, (8, 5, 64, 14), "VALMOR_LINK", (1, 2, 4, 1, 1), "link",
                ("Vortek",), kind="skin"),
        Control(1122, "kHelp", "Help", (553, 5, 16, 13), "CONTROL_HELP", CMD_FACES, "winbtn", ("?",),
                kind="skin"),
        Control(1123, "kMinimize", "Minimize", (571, 5, 16, 13), "CONTROL_MINIMIZE", CMD_FACES, "winbtn",
                ("\u2013",), kind="skin"),
        Control(1124, "kClose", "Close", (589, 5, 16, 13), "CONTROL_CLOSE", CMD_FACES, "winbtn",
                ("\u00d7",), kind="skin"),
        Control(1129, "kFlipLamp", "Flip0", (40, 31, 38, 11), "FLIP_0", (1, 1, 1, 1, 4), "fliplamp",
                ("FLIP",), kind="skin", disabled=True),
        Control(1130, "kFlipLeft", "Flip1", (40, 46, 38, 14), "FLIP_1", KEY_FACES, "flipswitch",
                ("\u5207\u6362",), kind="skin"),
        Control(1132, "kArrowLeft", "LArr", (84, 33, 13, 26), "LEFT_ARROW", (), "arrow", kind="skin",
                disabled=True),
        Control(1133, "kArrowRight", "RArr", (177, 33, 13, 26), "RIGHT_ARROW", (), "arrow", kind="skin",
                disabled=True),
        Control(1131, "kFlipRight", "Flip2", (194, 46, 38, 14), "FLIP_2", KEY_FACES, "flipswitch",
                ("\u5207\u6362",), kind="skin"),
        Control(1128, "kLampBank", "AB", (7, 72, 22, 10), "LOCK_AB", LAMP_FACES, "lamp", ("AB",),
                kind="skin", disabled=True),
        Control(1126, "kLampNum", "Num", (509, 72, 28, 10), "LOCK_NUM", LAMP_FACES, "lamp", ("Num",),
                kind="skin", disabled=True),
        Control(1125, "kLampCaps", "Caps", (541, 72, 30, 10), "LOCK_CAPS", LAMP_FACES, "lamp", ("Caps",),
                kind="skin", disabled=True),
        Control(1127, "kLampScroll", "Scroll", (575, 72, 28, 10), "LOCK_SCROLL", LAMP_FACES, "lamp",
                ("Scroll",), kind="skin", disabled=True),
        Control(1005, "kProfiles", "<\u9ed8\u8ba4\u60c5\u666f\u6a21\u5f0f>", (60, 226, 160, 16),
                "FUNC_PROFILES", CMD_FACES, "button", (), kind="skin"),
        # The layer the map shows and edits; placed from the skin file.
        Control(1135, "kLayerSelector", "", (226, 227, 58, 80), "FUNC_LAYER", kind="combo"),
        Control(1007, "kMacroEditor", "\u5b8f\u7f16\u8f91...", (290, 226, 64, 16), "FUNC_MACRO",
                CMD_FACES, "button", ("\u5b8f\u7f16\u8f91...",), kind="skin"),
        Control(1, "kOk", "\u786e\u5b9a", (330, 276, 50, 16), "CONTROL_OK", CMD_FACES, "button",
                ("\u786e\u5b9a",), kind="skin"),
        Control(2, "kCancel", "\u53d6\u6d88", (386, 276, 50, 16), "CONTROL_CANCEL", CMD_FACES, "button",
                ("\u53d6\u6d88",), kind="skin"),
        Control(1006, "kApply", "\u5e94\u7528", (442, 276, 50, 16), "CONTROL2_APPLY", APPLY_MAIN_FACES,
                "button", ("\u5e94\u7528",), kind="skin"),
        Control(1134, "kVersion", "DRIVER VERSION V1.0", (10, 283, 60, 10), "VALMOR_VER", (1, 1, 1, 1, 1),
                "label", (), kind="skin", disabled=True),
        Control(1008, "kTest", "Test", (200, 281, 40, 11), kind="skin", hidden=True),
        Control(1009, "kDynamicMenu", "Dynamic Menu", (250, 281, 50, 11), kind="skin", hidden=True),
    ]
    return w


# Captions of the main window's bottom deck and title strip, drawn into the pictures.
MAIN_TITLE = "Vortek \u952e\u76d8\u8bbe\u5b9a"
MAIN_PROFILE_LABEL = "\u60c5\u666f\u6a21\u5f0f"
MAIN_LEGEND = "\u5df2\u8bbe\u5b9a\u529f\u80fd\u7684\u6309\u952e"
MAIN_INHERITED_LEGEND = "\u900f\u660e: \u57fa\u672c\u5c42\u7684\u529f\u80fd"
MAIN_HINT = "\u70b9\u51fb\u4efb\u610f\u6309\u952e\uff0c\u4e3a\u5b83\u8bbe\u5b9a\u529f\u80fd"
FLIP_HINT = ("F1\u2013F4", "D1\u2013D6")

# Where the keypad's part of the main window ends: the window is L-shaped,
# the keypad stands in a bay at the right, the deck runs below the keyboard.
MAIN_KEYPAD_LEFT = 500
MAIN_KEYPAD_BOTTOM = 212
MAIN_STRIP_HEIGHT = 24
MAIN_DECK_TOP = 216

# The main window's status image in which every key wears the dimmed face of a
# key that a layer leaves to the base (made beside the four others).
MAIN_INHERITED_IMAGE = 5


# --- profile manager, template 131 ----------------------------------------

def _profile_window():
    w = Window(131, "kDlgProfiles", (400, 196), "\u60c5\u666f\u6a21\u5f0f\u7ba1\u7406", "Profile.ini",
               "Profile", 4)
    w.controls += [
        Control(1007, "kProfileList", "", (10, 26, 380, 120), "PROGRAM_LIST", kind="list"),
        Control(1010, "kProfileAdd", "\u6dfb\u52a0", (10, 152, 50, 15), "FUNC_ADD", DLG_FACES, "button",
                ("\u6dfb\u52a0",), kind="skin"),
        Control(1008, "kProfileLoad", "\u8f7d\u5165", (66, 152, 50, 15), "FUNC_LOAD", DLG_FACES, "button",
                ("\u8f7d\u5165",), kind="skin"),
        Control(1011, "kProfileDelete", "\u5220\u9664", (122, 152, 50, 15), "FUNC_DELETE", DLG_FACES,
                "button", ("\u5220\u9664",), kind="skin"),
        # Programs bound to the selected profile, chosen in a file dialog.
        Control(1014, "kProfilePrograms", "\u7a0b\u5e8f...", (178, 152, 50, 15), "FUNC_PROGRAMS", DLG_FACES,
                "button", ("\u7a0b\u5e8f...",), kind="skin"),
        Control(1015, "kProfileFollow", PROFILE_FOLLOW, (240, 153, 150, 13), "FUNC_FOLLOW", kind="check"),
        # The notice that names a new layer or profile.
        Control(1144, "kProfileNotice", PROFILE_NOTICE, (122, 175, 100, 13), "FUNC_NOTICE", kind="check"),
        Control(1, "kProfileOk", "\u786e\u5b9a", (228, 174, 50, 15), "CONTROL_OK", DLG_FACES, "button",
                ("\u786e\u5b9a",), kind="skin"),
        Control(2, "kProfileCancel", "\u53d6\u6d88", (284, 174, 50, 15), "CONTROL_CANCEL", DLG_FACES,
                "button", ("\u53d6\u6d88",), kind="skin"),
        Control(1012, "kProfileApply", "\u5e94\u7528", (340, 174, 50, 15), "CONTROL2_APPLY", DLG_FACES,
                "button", ("\u5e94\u7528",), kind="skin"),
        Control(1013, "kProfileTest", "Test", (10, 176, 30, 11), kind="skin", hidden=True),
        # The selected profile's earlier versions, and the profile as JSON.
        Control(1016, "kProfileRestore", "\u6062\u590d...", (10, 174, 50, 15), "FUNC_RESTORE", DLG_FACES,
                "button", ("\u6062\u590d...",), kind="skin"),
        Control(1017, "kProfileExport", "\u5bfc\u51fa...", (66, 174, 50, 15), "FUNC_EXPORT", DLG_FACES,
                "button", ("\u5bfc\u51fa...",), kind="skin"),
    ]
    return w


# The follow switch: "switch profiles with the program in front".
PROFILE_NOTICE = "\u663e\u793a\u5207\u6362\u63d0\u793a"
PROFILE_FOLLOW = "\u8ddf\u968f\u524d\u53f0\u7a0b\u5e8f\u5207\u6362\u60c5\u666f\u6a21\u5f0f"


# --- key function dialog, template 132 ------------------------------------

def _key_window():
    w = Window(132, "kDlgKeyFunction", (260, 304), "\u6309\u952e\u529f\u80fd", "Key.ini", "Key", 4)
    w.controls += [
        Control(1023, "kKeyTypeDefault", "\u9ed8\u8ba4\u529f\u80fd", (14, 28, 150, 12), "FUNC_SEL_1",
                kind="radio"),
        Control(1015, "kKeyTypeNone", "\u65e0\u529f\u80fd(\u5c4f\u853d\u6309\u952e)", (14, 44, 150, 12),
                "FUNC_SEL_2", kind="radio"),
        Control(1010, "kKeyTypeKey", "\u5206\u914d\u65b0\u6309\u952e", (14, 60, 86, 12), "FUNC_SEL_3",
                kind="radio"),
        Control(1011, "kKeyTarget", "", (102, 59, 144, 150), "FUNC_EXTRA_1", kind="combo"),
        Control(1012, "kKeyTypeProgram", "\u542f\u52a8\u7a0b\u5e8f", (14, 78, 86, 12), "FUNC_SEL_4",
                kind="radio"),
        Control(1013, "kKeyProgramPath", "", (102, 77, 118, 13), "FUNC_EXTRA_2", kind="edit"),
        Control(1014, "kKeyBrowse", "...", (224, 77, 22, 13), "FUNC_EXTRA_2_2", DLG_FACES, "button",
                ("...",), kind="skin"),
        Control(1016, "kKeyTypeMacro", "\u64ad\u653e\u5b8f", (14, 96, 86, 12), "FUNC_SEL_5", kind="radio"),
        Control(1017, "kKeyMacro", "", (102, 95, 144, 120), "FUNC_EXTRA_3", kind="combo"),
        Control(1019, "kKeyTypeStop", "\u505c\u6b62\u64ad\u653e\u4e2d\u7684\u5b8f", (14, 114, 150, 12),
                "FUNC_SEL_6", kind="radio"),
        Control(1020, "kKeyTypeText", "\u64ad\u653e\u6587\u5b57\u5757", (14, 132, 150, 12), "FUNC_SEL_7",
                kind="radio"),
        Control(1021, "kKeyText", "", (26, 147, 220, 38), "FUNC_EXTRA_4", kind="memo"),
        # The layer key: which layer, held or toggled.
        Control(1136, "kKeyTypeLayer", KEY_LAYER, (14, 192, 86, 12), "FUNC_SEL_8", kind="radio"),
        Control(1137, "kKeyLayerNumber", "", (102, 191, 56, 60), "FUNC_EXTRA_5", kind="combo"),
        Control(1138, "kKeyLayerMode", "", (162, 191, 84, 60), "FUNC_EXTRA_6", kind="combo"),
        # The dual-role key: tap key, hold key or layer, term.
        Control(1139, "kKeyTypeTapHold", KEY_TAP_HOLD, (14, 210, 86, 12), "FUNC_SEL_9", kind="radio"),
        Control(1140, "kKeyTapKey", "", (130, 209, 116, 150), "FUNC_EXTRA_7", kind="combo"),
        Control(1141, "kKeyHoldKey", "", (130, 226, 116, 150), "FUNC_EXTRA_8", kind="combo"),
        Control(1142, "kKeyTerm", "", (130, 243, 40, 13), "FUNC_EXTRA_9", kind="edit"),
        # A layer's key given back to the base.
        Control(1143, "kKeyTypeTransparent", KEY_TRANSPARENT, (14, 262, 150, 12), "FUNC_SEL_10", kind="radio"),
        Control(1009, "kKeyApply", "\u5e94\u7528", (86, 282, 50, 15), kind="skin", hidden=True),
        Control(1, "kKeyOk", "\u786e\u5b9a", (142, 282, 50, 15), "CONTROL_OK", DLG_FACES, "button",
                ("\u786e\u5b9a",), kind="skin"),
        Control(2, "kKeyCancel", "\u53d6\u6d88", (198, 282, 50, 15), "CONTROL_CANCEL", DLG_FACES,
                "button", ("\u53d6\u6d88",), kind="skin"),
        Control(1018, "kKeyTest", "Test", (10, 284, 30, 11), kind="skin", hidden=True),
    ]
    return w


KEY_LAYER = "\u5c42\u952e"
KEY_TAP_HOLD = "\u53cc\u529f\u80fd\u952e"
KEY_TRANSPARENT = "\u900f\u660e (\u4f7f\u7528\u57fa\u672c\u5c42\u7684\u529f\u80fd)"
# Labels in the key dialog's picture, left of the dual-role key's fields:
# tap, hold, term (with its unit after the field).
KEY_TAP_LABELS = ("\u70b9\u6309", "\u6309\u4f4f", "\u65f6\u9650")
KEY_TERM_UNIT = "\u6beb\u79d2 (50\u20131000)"


# --- macro editor, template 133 -------------------------------------------

def _macro_window():
    w = Window(133, "kDlgMacroEditor", (411, 334), "", "Macro.ini", "Macro", 5)
    w.controls += [
        Control(1016, "kMacroList", "", (7, 7, 327, 121), "PROGRAM_LIST", kind="list"),
        Control(1017, "kMacroAdd", "\u6dfb\u52a0", (7, 132, 50, 14), "FUNC_ADD", DLG_FACES, "button",
                ("\u6dfb\u52a0",), kind="skin"),
        Control(1018, "kMacroDelete", "\u5220\u9664", (79, 133, 50, 14), "FUNC_DELETE", DLG_FACES, "button",
                ("\u5220\u9664",), kind="skin"),
        # The selected macro's play mode; placed by the template alone, so a
        # skin file that does not know it cannot hide it.
        Control(1028, "kMacroPlayMode", "", (214, 132, 120, 60), kind="combo"),
        Control(1019, "kStepList", "", (7, 158, 327, 119), "PROGRAM_LIST2", kind="list"),
        Control(1020, "kMacroRecord", "\u5f55\u5236...", (7, 281, 50, 26), "FUNC_RECORD", DLG_MARK_FACES,
                "record", ("\u5f55\u5236...",), kind="skin"),
        Control(1021, "kStepDelete", "\u5220\u9664", (79, 281, 50, 14), "FUNC_DELETE2", DLG_FACES,
                "button", ("\u5220\u9664",), kind="skin"),
        Control(1022, "kStepClear", "\u6e05\u7a7a", (152, 281, 50, 14), "FUNC_CLEAR", DLG_FACES, "button",
                ("\u6e05\u7a7a",), kind="skin"),
        Control(1027, "kRecordDelays", "\u8bb0\u5f55\u6309\u952e\u4e4b\u95f4\u7684\u5ef6\u8fdf",
                (225, 281, 84, 14), "FUNC_RECORD_DELAY", kind="check"),
        Control(1023, "kStepTop", "\u4e0a\u79fb\u5230\u9876", (340, 170, 64, 14), "FUNC_UP_TOP", DLG_FACES,
                "button", ("\u4e0a\u79fb\u5230\u9876",), kind="skin"),
        Control(1024, "kStepUp", "\u4e0a\u79fb", (340, 200, 64, 14), "FUNC_UP", DLG_FACES, "button",
                ("\u4e0a\u79fb",), kind="skin"),
        Control(1025, "kStepDown", "\u4e0b\u79fb", (340, 230, 64, 14), "FUNC_DOWN", DLG_FACES, "button",
                ("\u4e0b\u79fb",), kind="skin"),
        Control(1026, "kStepBottom", "\u4e0b\u79fb\u5230\u5e95", (340, 260, 64, 14), "FUNC_DOWN_BOTTOM",
                DLG_FACES, "button", ("\u4e0b\u79fb\u5230\u5e95",), kind="skin"),
        Control(1, "kMacroOk", "\u786e\u5b9a", (231, 313, 50, 14), "CONTROL_OK", DLG_FACES, "button",
                ("\u786e\u5b9a",), kind="skin"),
        Control(2, "kMacroCancel", "\u53d6\u6d88", (293, 313, 50, 14), "CONTROL_CANCEL", DLG_FACES,
                "button", ("\u53d6\u6d88",), kind="skin"),
        Control(1015, "kMacroApply", "\u5e94\u7528", (354, 313, 50, 14), "CONTROL2_APPLY", DLG_MARK_FACES,
                "button", ("\u5e94\u7528",), kind="skin"),
        Control(1008, "kMacroTest", "Test", (350, 292, 54, 11), kind="skin", hidden=True, disabled=True),
    ]
    return w


MACRO_RECORDING = "\u505c\u6b62\u5f55\u5236"
MACRO_TITLE = "\u5b8f\u7f16\u8f91"
MACRO_MODE_LABEL = "\u64ad\u653e\u65b9\u5f0f"
MACRO_HINT = ("\u9009\u4e2d\u6b65\u9aa4\u540e", "\u5355\u51fb\u5355\u5143\u683c", "\u53ef\u4fee\u6539\u5ef6\u8fdf\u3001", "\u6309\u952e\u548c\u52a8\u4f5c")


# --- About box, template 100 (a plain dialog, not skinned) -----------------

def _about_window():
    w = Window(100, "kDlgAbout", (258, 61), "\u5173\u4e8e", "", "", 0, skinned=False)
    w.controls += [
        Control(-1, "", "128", (10, 10, 21, 20), kind="icon"),
        Control(1001, "kAboutProduct", "Vortek\u952e\u76d8\u8bbe\u5b9a  V1.0", (40, 10, 150, 9),
                kind="text"),
        Control(1002, "kAboutCopyright", "\u7248\u6743\u6240\u6709 (C) 2026 KbPanel", (40, 24, 150, 9),
                kind="text"),
        Control(1003, "kAboutLink", WEB_ADDRESS, (40, 38, 150, 9), kind="link"),
        Control(1, "kAboutOk", "\u786e\u5b9a", (201, 7, 50, 14), kind="defbutton"),
    ]
    return w


WINDOWS = [_about_window(), _main_window(), _profile_window(), _key_window(), _macro_window()]
SKINNED = [w for w in WINDOWS if w.skinned]

ICONS = [(128, "kIconApp", "app.ico"), (141, "kIconAttached", "attached.ico"),
         (142, "kIconPlaying", "playing.ico")]

# Frames of the two arrows in the arrow strip: key stem and frame number.
ARROW_FRAMES = [(stem, n) for stem in ("DOWN_ARROW_LEFT", "DOWN_ARROW_RIGHT", "UP_ARROW_LEFT",
                                        "UP_ARROW_RIGHT") for n in (1, 2)]


def window(template):
    return next(w for w in WINDOWS if w.template == template)
