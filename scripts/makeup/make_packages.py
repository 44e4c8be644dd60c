#!/usr/bin/python3
"""Writes the shipped makeup packages (res/makeup/<kind>_<name>/template.json),
the light looks (res/light_makeup/<name>/), the styled looks
(res/style_makeup/<name>/) and the panel pages single_beauty.json,
light_makeup.json and style_makeover.json from the tables below. Run from
anywhere; rerun after changing a table, then render_thumbnails.py."""
import json
import os

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

REGION = {"lipstick": "lips", "blush": "cheeks", "eyebrow": "brows",
          "eyeshadow": "eyelids", "eyeliner": "lashline", "contour": "contour"}
KIND_CN = {"lipstick": ("口红", "Lipstick"), "blush": ("腮红", "Blush"), "eyebrow": ("眉毛", "Brows"),
           "eyeshadow": ("眼影", "Eyeshadow"), "eyeliner": ("眼线", "Eyeliner"), "contour": ("修容", "Contour")}

# kind, name, Chinese name, English name, colour, blend, opacity (+ contour highlight)
PACKAGES = [
    ("lipstick", "coral", "珊瑚", "Coral", "#E8604C", "colour", 0.85),
    ("lipstick", "rose", "玫瑰", "Rose", "#C93A5B", "colour", 0.85),
    ("lipstick", "berry", "浆果", "Berry", "#8E2048", "colour", 0.85),
    ("lipstick", "red", "正红", "Classic red", "#C41E2A", "colour", 0.9),
    ("lipstick", "nude", "裸色", "Nude", "#C77F6E", "colour", 0.75),
    ("blush", "peach", "蜜桃", "Peach", "#F49A7E", "softlight", 0.85),
    ("blush", "pink", "少女粉", "Pink", "#F27C9B", "softlight", 0.8),
    ("blush", "coral", "珊瑚", "Coral", "#EE7A5E", "softlight", 0.85),
    ("eyebrow", "brown", "自然棕", "Brown", "#7A5A45", "multiply", 0.55),
    ("eyebrow", "dark", "深咖", "Dark brown", "#5A4034", "multiply", 0.6),
    ("eyebrow", "grey", "灰棕", "Grey brown", "#8A7F78", "multiply", 0.5),
    ("eyeshadow", "bronze", "大地", "Bronze", "#A7704F", "multiply", 0.55),
    ("eyeshadow", "pink", "桃粉", "Pink", "#D98A96", "multiply", 0.5),
    ("eyeshadow", "smoky", "烟熏", "Smoky", "#5E5660", "multiply", 0.6),
    ("eyeliner", "black", "黑色", "Black", "#1A1412", "normal", 0.85),
    ("eyeliner", "brown", "棕色", "Brown", "#4A2F22", "normal", 0.8),
    ("eyeliner", "navy", "深蓝", "Navy", "#1F2A4A", "normal", 0.8),
    ("contour", "natural", "自然", "Natural", "#8C6450", "multiply", 0.35, "#FFF3E6", "screen", 0.25),
    ("contour", "soft", "柔和", "Soft", "#A07A66", "multiply", 0.28, "#FFF6EE", "screen", 0.18),
    ("contour", "sculpt", "立体", "Sculpt", "#7A5444", "multiply", 0.45, "#FFF0E0", "screen", 0.32),
]

# name, Chinese, English, [(kind, package, strength)]
LOOKS = [
    ("daily", "日常", "Daily", [("lipstick", "nude", 60), ("blush", "peach", 50), ("eyebrow", "brown", 50)]),
    ("sweet", "元气", "Sweet", [("lipstick", "rose", 60), ("blush", "pink", 70), ("eyeshadow", "pink", 50)]),
    ("office", "通勤", "Office", [("lipstick", "coral", 55), ("eyebrow", "dark", 50), ("eyeliner", "brown", 60),
                                ("contour", "soft", 60)]),
    ("peach", "蜜桃", "Peach", [("lipstick", "coral", 70), ("blush", "peach", 70), ("eyeshadow", "bronze", 40)]),
    ("classic", "复古", "Classic", [("lipstick", "red", 70), ("eyeliner", "black", 70), ("eyebrow", "dark", 55)]),
    ("evening", "晚宴", "Evening", [("lipstick", "berry", 65), ("eyeshadow", "smoky", 60), ("eyeliner", "black", 70),
                                  ("contour", "sculpt", 60)]),
]

# name, Chinese, English, makeup, filter (path, strength) or None, face shape
STYLES = [
    ("glam", "魅惑", "Glam", [("lipstick", "red", 85), ("eyeliner", "black", 80), ("eyeshadow", "smoky", 55),
                            ("contour", "sculpt", 60)], ("lut/film.cube", 35), {"shape.thinFace": 20, "shape.bigEye": 15}),
    ("sweetheart", "甜美", "Sweetheart", [("lipstick", "rose", 70), ("blush", "pink", 80), ("eyeshadow", "pink", 60),
                                        ("eyeliner", "brown", 50)], ("lut/warm.png", 45), {"shape.bigEye": 20}),
    ("elegant", "优雅", "Elegant", [("lipstick", "berry", 65), ("eyebrow", "dark", 55), ("eyeshadow", "bronze", 50),
                                  ("eyeliner", "black", 60), ("contour", "natural", 50)], ("lut/cool.png", 30),
     {"shape.vFace": 20}),
    ("fresh", "清透", "Fresh", [("lipstick", "coral", 55), ("blush", "peach", 60), ("eyebrow", "brown", 45)],
     ("lut/warm.png", 30), {}),
    ("retro", "复古", "Retro", [("lipstick", "red", 80), ("eyebrow", "dark", 60), ("eyeliner", "black", 80)],
     ("lut/film.cube", 60), {"shape.jaw": 15}),
    ("autumn", "秋日", "Autumn", [("lipstick", "nude", 70), ("eyeshadow", "bronze", 65), ("blush", "coral", 60),
                                ("contour", "soft", 60)], ("lut/film.cube", 35), {"shape.cheekbone": 20}),
]


def look_effects(parts):
    return [{"effect": f"makeup.{k}", "package": f"{k}_{p}", "strength": s} for k, p, s in parts]


def option_page(title_cn, title_en, effect, items, switch):
    none_icon = "beauty_panel/panel_icon/beauty/others/none.png"
    options = [{"displayName": "无", "displayNameEn": "None", "icon": none_icon, "uiState": 2,
                "sdkParam": {"effectName": effect, "effectValue": 0}}]
    for cn, en, folder in items:
        options.append({"displayName": cn, "displayNameEn": en, "icon": f"res/{folder}/icon.png", "uiState": 0,
                        "sdkParam": {"effectName": effect, "effectValue": 80, "resourcePath": folder}})
    return {"displayName": title_cn, "displayNameEn": title_en, "uiType": "CompositeType",
            "propertyList": [{"displayName": title_cn, "displayNameEn": title_en, "uiType": switch},
                             {"displayName": title_cn, "displayNameEn": title_en,
                              "uiType": "ScrollButtonGroupWithSlider", "defaultSliderDisPlayName": "强度",
                              "defaultSliderDisPlayNameEn": "Strength", "sdkParam": {"effectName": effect},
                              "propertyList": options}]}


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        json.dump(data, f, ensure_ascii=False, indent=2)
        f.write("\n")


def main():
    for entry in PACKAGES:
        kind, name, cn, en, colour, blend, opacity = entry[:7]
        data = {"kind": kind, "name": en, "displayName": cn, "region": REGION[kind],
                "color": colour, "blend": blend, "opacity": opacity}
        if kind == "contour":
            data.update({"highlightColor": entry[7], "highlightBlend": entry[8], "highlightOpacity": entry[9]})
        write(os.path.join(ROOT, "res/makeup", f"{kind}_{name}", "template.json"), data)
    for name, cn, en, parts in LOOKS:
        write(os.path.join(ROOT, "res/light_makeup", name, "template.json"),
              {"name": en, "displayName": cn, "effects": look_effects(parts)})
    for name, cn, en, parts, lut, shape in STYLES:
        data = {"name": en, "displayName": cn, "makeup": look_effects(parts)}
        if lut:
            data["filter"] = {"path": lut[0], "strength": lut[1]}
        if shape:
            data["shape"] = shape
        write(os.path.join(ROOT, "res/style_makeup", name, "template.json"), data)

    none_icon = "beauty_panel/panel_icon/beauty/others/none.png"
    tabs = []
    for kind in REGION:
        items = [{"displayName": "无", "displayNameEn": "None", "icon": none_icon, "uiState": 2,
                  "sdkParam": {"effectName": f"makeup.{kind}", "effectValue": 0}}]
        for entry in PACKAGES:
            if entry[0] != kind:
                continue
            folder = f"makeup/{kind}_{entry[1]}"
            items.append({"displayName": entry[2], "displayNameEn": entry[3], "icon": f"res/{folder}/icon.png",
                          "uiState": 0,
                          "sdkParam": {"effectName": f"makeup.{kind}", "effectValue": 70, "resourcePath": folder}})
        tabs.append({"displayName": KIND_CN[kind][0], "displayNameEn": KIND_CN[kind][1],
                     "uiType": "ScrollButtonGroupWithSlider", "defaultSliderDisPlayName": "强度",
                     "defaultSliderDisPlayNameEn": "Strength", "sdkParam": {"effectName": f"makeup.{kind}"},
                     "propertyList": items})
    write(os.path.join(ROOT, "beauty_panel/panel_json/single_beauty.json"),
          {"displayName": "单点美妆", "displayNameEn": "Single makeup", "uiType": "CompositeType",
           "propertyList": [{"displayName": "单点美妆", "displayNameEn": "Single makeup", "uiType": "ResetButtonGroup"},
                            {"displayName": "单点美妆", "displayNameEn": "Single makeup", "uiType": "TabWidget2",
                             "propertyList": tabs}]})

    write(os.path.join(ROOT, "beauty_panel/panel_json/light_makeup.json"),
          option_page("轻美妆", "Light makeup", "light.makeup",
                      [(cn, en, f"light_makeup/{name}") for name, cn, en, _ in LOOKS], "ClearSwitchButton"))
    write(os.path.join(ROOT, "beauty_panel/panel_json/style_makeover.json"),
          option_page("风格整妆", "Style makeover", "makeup",
                      [(cn, en, f"style_makeup/{name}") for name, cn, en, *_ in STYLES], "ClearSwitchButton"))

if __name__ == "__main__":
    main()
