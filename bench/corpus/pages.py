#!/usr/bin/env python3
"""Writes the HTML pages of the screenshot corpus: what a screen shows, made
from real text that Debian's packages put on this machine (the C library's
headers, the Node.js manual, ISO country codes, licence texts, the MATE
wallpapers), so that the pictures stay the same while the program changes.
    pages.py OUT_DIR
Every page is deterministic: the same inputs give the same page."""

import html
import json
import os
import random
import re
import sys

OUT = sys.argv[1]
SOURCES = "/usr/include"  # libc6-dev: C sources that are the same on every Debian 12 machine
WALLPAPERS = "/usr/share/backgrounds/mate"


def write(name, body, style="", title=""):
    with open(os.path.join(OUT, name), "w", encoding="utf-8") as f:
        f.write(f"<!doctype html><html><head><meta charset='utf-8'><title>{html.escape(title)}</title>"
                f"<style>html,body{{margin:0;padding:0;overflow:hidden}}{style}</style></head>"
                f"<body>{body}</body></html>")


def window(title, inner, dark=False):
    """A desktop window's frame around a page: title bar with the usual buttons."""
    bar = "#2b2b2b" if dark else "#e8e8e8"
    ink = "#ddd" if dark else "#222"
    return (f"<div style='position:absolute;inset:0;display:flex;flex-direction:column;border:1px solid #777'>"
            f"<div style='height:30px;background:{bar};color:{ink};font:13px Liberation Sans,sans-serif;"
            f"display:flex;align-items:center;padding:0 10px;border-bottom:1px solid #999'>"
            f"<span style='flex:1'>{html.escape(title)}</span>"
            f"<span style='letter-spacing:18px'>&#8211;&#9633;&#10005;</span></div>"
            f"<div style='flex:1;position:relative;overflow:hidden'>{inner}</div></div>")


# ---- code, as an editor shows it -------------------------------------------------
KEYWORDS = set("""alignas auto bool break case catch char class const constexpr continue default delete do double
else enum explicit extern false float for friend if inline int long namespace new noexcept nullptr operator
private protected public return short signed sizeof static static_cast struct switch template this throw true
try typedef typename union unsigned using virtual void volatile while override final std size_t""".split())
TOKEN = re.compile(r'(//.*$)|("(?:[^"\\]|\\.)*")|(\'(?:[^\'\\]|\\.)*\')|(^\s*#\s*\w+)|(\b\d[\w.]*\b)|(\b[A-Za-z_]\w*\b)')


def highlight(line, palette):
    out, at = [], 0
    for m in TOKEN.finditer(line):
        out.append(html.escape(line[at:m.start()]))
        text = html.escape(m.group(0))
        if m.group(1): colour = palette["comment"]
        elif m.group(2) or m.group(3): colour = palette["string"]
        elif m.group(4): colour = palette["preproc"]
        elif m.group(5): colour = palette["number"]
        elif m.group(0) in KEYWORDS: colour = palette["keyword"]
        elif m.group(0)[:1].isupper(): colour = palette["type"]
        else: colour = None
        out.append(f"<span style='color:{colour}'>{text}</span>" if colour else text)
        at = m.end()
    out.append(html.escape(line[at:]))
    return "".join(out)


DARK = dict(bg="#1e1e1e", fg="#d4d4d4", gutter="#858585", comment="#6a9955", string="#ce9178",
            preproc="#c586c0", number="#b5cea8", keyword="#569cd6", type="#4ec9b0", side="#252526", tab="#2d2d2d")
LIGHT = dict(bg="#ffffff", fg="#000000", gutter="#999999", comment="#008000", string="#a31515",
             preproc="#0000ff", number="#098658", keyword="#0000ff", type="#267f99", side="#f3f3f3", tab="#ececec")


def source_lines(path, count, skip=0):
    with open(os.path.join(SOURCES, path), encoding="utf-8") as f:
        lines = f.read().expandtabs(4).splitlines()
    lines = lines[skip:] + lines[:skip]
    while len(lines) < count: lines += lines
    return lines[:count]


def editor(files, palette, font_px, rows):
    """Side bar with the source tree, then one editor pane per file."""
    tree = sorted(p for p in os.listdir(SOURCES) if os.path.isdir(os.path.join(SOURCES, p)))[:40]
    side = "".join(f"<div>&#9656; {html.escape(d)}</div>" for d in tree)
    for p in sorted(os.listdir(os.path.join(SOURCES, "net"))):
        side += f"<div style='padding-left:18px'>{html.escape(p)}</div>"
    panes = ""
    for path, skip in files:
        body = "".join(f"<div><span style='color:{palette['gutter']};display:inline-block;width:4em;text-align:right;"
                       f"margin-right:1.2em'>{n + 1 + skip}</span>{highlight(l, palette)}</div>"
                       for n, l in enumerate(source_lines(path, rows, skip)))
        panes += (f"<div style='flex:1;overflow:hidden;border-left:1px solid #444'>"
                  f"<div style='background:{palette['tab']};padding:6px 14px;font:13px Liberation Sans'>"
                  f"{html.escape(os.path.basename(path))} &#10005;</div>"
                  f"<pre style='margin:0;padding:6px 0;font:{font_px}px/1.35 DejaVu Sans Mono,monospace;"
                  f"white-space:pre'>{body}</pre></div>")
    status = (f"<div style='position:absolute;left:0;right:0;bottom:0;height:22px;background:#007acc;color:#fff;"
              f"font:12px Liberation Sans;padding:3px 10px'>main &nbsp; Ln 42, Col 7 &nbsp; UTF-8 &nbsp; C++</div>")
    return (f"<div style='position:absolute;inset:0;background:{palette['bg']};color:{palette['fg']};display:flex'>"
            f"<div style='width:260px;background:{palette['side']};font:13px/1.6 Liberation Sans;padding:8px'>"
            f"<div style='font-weight:bold;margin-bottom:6px'>EXPLORER</div>{side}</div>{panes}{status}</div>")


# ---- a terminal -------------------------------------------------------------------
def terminal(font_px, rows, seed):
    lines = []
    for path in ["stdio.h", "unistd.h", "signal.h", "pthread.h", "string.h"]:
        lines.append(("prompt", f"dev@snapora:~/snapora$ cat /usr/include/{path}"))
        with open(os.path.join(SOURCES, path), encoding="utf-8") as f:
            lines += [("text", l) for l in f.read().expandtabs(4).splitlines()]
    rng = random.Random(seed)
    files = sorted(f for f in os.listdir(SOURCES) if f.endswith(".h"))[:60]
    lines.append(("prompt", "dev@snapora:~/snapora$ ninja -C build/native"))
    for i, f in enumerate(files):
        lines.append(("text", f"[{i + 1}/{len(files)}] Building CXX object src/CMakeFiles/snapora_core.dir/{f[:-2]}.cpp.o"))
    lines.append(("prompt", "dev@snapora:~/snapora$ ls -l /usr/include"))
    for f in files:
        lines.append(("text", f"-rw-r--r-- 1 dev dev {rng.randint(400, 30000):6d} Dec  8 15:{rng.randint(10, 59)} {f}"))
    lines.append(("prompt", "dev@snapora:~/snapora$ \u2588"))
    lines = lines[-rows:]
    body = "".join(f"<div style='color:{'#8ae234' if kind == 'prompt' else '#d3d7cf'}'>{html.escape(t)}</div>"
                   for kind, t in lines)
    return (f"<pre style='position:absolute;inset:0;margin:0;padding:8px;background:#300a24;"
            f"font:{font_px}px/1.25 DejaVu Sans Mono,monospace;white-space:pre'>{body}</pre>")


# ---- a spreadsheet ------------------------------------------------------------------
def spreadsheet(columns, rows, font_px, seed):
    with open("/usr/share/iso-codes/json/iso_3166-1.json", encoding="utf-8") as f:
        countries = json.load(f)["3166-1"]
    rng = random.Random(seed)
    letters = [chr(65 + i) if i < 26 else chr(64 + i // 26) + chr(65 + i % 26) for i in range(columns)]
    head = "<tr><th></th>" + "".join(f"<th>{c}</th>" for c in letters) + "</tr>"
    body = []
    for r in range(rows):
        c = countries[r % len(countries)]
        cells = [c["name"][:22], c["alpha_3"], c["numeric"]]
        base = rng.uniform(50, 5000)
        while len(cells) < columns:
            kind = len(cells) % 5
            v = base * rng.uniform(0.6, 1.4)
            cells.append(f"{v:,.2f}" if kind in (0, 1) else f"{rng.uniform(-9.9, 12.5):.1f}%" if kind == 2
                         else f"{rng.randint(1, 28):02d}.{rng.randint(1, 12):02d}.2024" if kind == 3 else f"{int(v * 13):,}")
        tds = "".join(f"<td{' class=n' if i > 2 and '%' in v and v.startswith('-') else ''}>{html.escape(v)}</td>"
                      for i, v in enumerate(cells))
        body.append(f"<tr><th>{r + 1}</th>{tds}</tr>")
    style = (f"table{{border-collapse:collapse;font:{font_px}px Liberation Sans,sans-serif;background:#fff}}"
             f"td,th{{border:1px solid #d4d4d4;padding:1px 5px;white-space:nowrap;text-align:right}}"
             f"td:first-child{{text-align:left}}th{{background:#f0f0f0;color:#444;font-weight:normal}}"
             f".n{{color:#c00}}tr:nth-child(7n) td{{background:#fff7d6}}")
    ribbon = ("<div style='height:64px;background:#217346;color:#fff;font:15px Liberation Sans;padding:10px 16px'>"
              "Datei &nbsp; Start &nbsp; Einfügen &nbsp; Seitenlayout &nbsp; Formeln &nbsp; Daten &nbsp; Überprüfen"
              "<div style='margin-top:10px;background:#fff;color:#000;padding:4px 8px;width:60%'>fx &nbsp; =SUMME(D2:D40)/"
              "ANZAHL(D2:D40)</div></div>")
    return ribbon + f"<table>{head}{''.join(body)}</table>", style


# ---- documents -----------------------------------------------------------------------
def article(width_px, photo, font_px):
    with open("/usr/share/common-licenses/GPL-3", encoding="utf-8") as f:
        paragraphs = [p.strip() for p in f.read().split("\n\n") if len(p.strip()) > 120]
    text = "".join(f"<p>{html.escape(' '.join(p.split()))}</p>" for p in paragraphs[:40])
    return (f"<div style='background:#f6f6f6;position:absolute;inset:0'>"
            f"<div style='height:56px;background:#fff;border-bottom:1px solid #ccc;font:bold 22px Liberation Serif;"
            f"padding:14px 40px'>Die Freie Zeitung &nbsp; <span style='font:14px Liberation Sans;color:#555'>Politik · "
            f"Wirtschaft · Wissen · Kultur · Sport · Technik</span></div>"
            f"<div style='width:{width_px}px;margin:20px auto;background:#fff;padding:30px 50px;"
            f"font:{font_px}px/1.55 Liberation Serif,serif;color:#222;column-count:2;column-gap:48px'>"
            f"<h1 style='column-span:all;font:bold {font_px * 2}px Liberation Sans'>GNU General Public License: "
            f"was die Freiheit von Software bedeutet</h1>"
            f"<img src='file://{photo}' style='width:100%;column-span:all;margin-bottom:12px'>{text}</div></div>")


def photo_viewer(photo, thumbs, dark=True):
    strip = "".join(f"<img src='file://{t}' style='height:86px;margin:6px;border:2px solid "
                    f"{'#fff' if t == photo else '#444'}'>" for t in thumbs)
    return (f"<div style='position:absolute;inset:0;background:{'#1b1b1b' if dark else '#eee'};display:flex;"
            f"flex-direction:column'><div style='height:40px;background:#2d2d2d;color:#eee;font:14px Liberation Sans;"
            f"padding:11px 16px'>&#8592; &#8594; &nbsp; {html.escape(os.path.basename(photo))} &nbsp; 100 % &nbsp; "
            f"&#8634; &#8635; &nbsp; Bearbeiten &nbsp; Teilen</div>"
            f"<div style='flex:1;display:flex;align-items:center;justify-content:center;overflow:hidden'>"
            f"<img src='file://{photo}' style='max-width:96%;max-height:96%'></div>"
            f"<div style='height:104px;background:#111;white-space:nowrap;overflow:hidden'>{strip}</div></div>")


def video_frame(photo, subtitle):
    return (f"<div style='position:absolute;inset:0;background:#000 url(file://{photo}) center/cover'>"
            f"<div style='position:absolute;left:0;right:0;bottom:9%;text-align:center;color:#fff;"
            f"font:600 3.2vw Liberation Sans;text-shadow:0 0 6px #000,0 0 2px #000'>{html.escape(subtitle)}</div>"
            f"<div style='position:absolute;left:0;right:0;bottom:0;height:6%;background:linear-gradient(transparent,"
            f"rgba(0,0,0,.8));color:#fff;font:1.1vw Liberation Sans;display:flex;align-items:center;padding:0 2%'>"
            f"&#9654;&nbsp;&nbsp; 12:47 / 48:03 <div style='flex:1;height:5px;margin:0 2%;background:#666'>"
            f"<div style='width:27%;height:100%;background:#e00'></div></div> HD &nbsp; &#9881; &nbsp; &#x26F6;</div></div>")


NODE_DOCS = "/usr/share/doc/nodejs/api"


def node_page(name, page, anchor):
    """A page of the Node.js manual opened at a section: what comes before it
    is taken out (headless Chromium does not paint a page scrolled to an anchor)."""
    with open(os.path.join(NODE_DOCS, page), encoding="utf-8") as f:
        text = f.read()
    script = ("<script>(function(){const t=document.getElementById('%s');const c=document.getElementById('apicontent');"
              "let e=t;while(e.parentElement!==c)e=e.parentElement;"
              "while(c.firstElementChild&&c.firstElementChild!==e)c.firstElementChild.remove();"
              "const toc=document.getElementById('toc');if(toc)toc.remove();})();</script>" % anchor)
    text = text.replace("<head>", f"<head><base href='file://{NODE_DOCS}/'>", 1).replace("</body>", script + "</body>")
    with open(os.path.join(OUT, name), "w", encoding="utf-8") as f:
        f.write(text)


def desktop_icons(names):
    return "".join(f"<div style='width:84px;text-align:center;margin:14px;color:#fff;font:13px Liberation Sans;"
                   f"text-shadow:0 1px 2px #000'><div style='width:48px;height:48px;margin:0 auto 4px;"
                   f"background:linear-gradient(#6aa0e8,#2f64b8);border-radius:6px'></div>{html.escape(n)}</div>"
                   for n in names)


def main():
    os.makedirs(OUT, exist_ok=True)
    nature = [os.path.join(WALLPAPERS, "nature", n) for n in
              ["LadyBird.jpg", "Storm.jpg", "Dune.jpg", "RainDrops.jpg", "Blinds.jpg", "Wood.jpg", "Aqua.jpg"]]
    node_page("docs-fs.html", "fs.html", "fspromisesreadfilepath-options")
    node_page("docs-stream.html", "stream.html", "event-drain")
    node_page("docs-http.html", "http.html", "agentdestroy")
    write("code-dark.html", editor([("stdio.h", 120)], DARK, 14, 80))
    write("code-split.html", editor([("stdlib.h", 0), ("string.h", 40),
                                     ("unistd.h", 0)], LIGHT, 12, 160))
    write("code-light.html", editor([("pthread.h", 20), ("signal.h", 0)],
                                    LIGHT, 14, 90))
    write("terminal.html", terminal(14, 80, 1))
    write("terminal-small.html", terminal(12, 180, 2))
    sheet, style = spreadsheet(18, 60, 13, 3)
    write("sheet.html", sheet, style)
    sheet, style = spreadsheet(40, 130, 12, 4)
    write("sheet-dense.html", sheet, style)
    write("article.html", article(1500, nature[2], 17))
    write("viewer-ladybird.html", photo_viewer(nature[0], nature))
    write("viewer-elephants.html", photo_viewer(os.path.join(WALLPAPERS, "abstract", "Elephants_3840x2160.jpg"), nature))
    write("video-storm.html", video_frame(nature[1], "Wir fahren weiter nach Norden, bevor das Unwetter kommt."))
    write("video-dune.html", video_frame(nature[2], "Am Strand war es an diesem Morgen ganz still."))
    gradient = "radial-gradient(circle at 70% 30%,#7fb2ff 0,#3a5fcf 35%,#1b2a6b 70%,#0c1330 100%)"
    for n, background in [("wall-dune", nature[2]), ("wall-raindrops", nature[3]), ("wall-storm", nature[1]),
                          ("wall-blinds", nature[4]), ("wall-gradient", gradient)]:
        if background.startswith("/"): background = f"url(file://{background}) center/cover"
        write(n + ".html", f"<div style='position:absolute;inset:0;background:{background}'>"
                           f"<div style='display:flex;flex-direction:column;flex-wrap:wrap;height:88%'>"
                           f"{desktop_icons(['Papierkorb', 'Dokumente', 'Bilder', 'Snapora', 'Projekte', 'Notizen.txt'])}"
                           f"</div></div>")
    write("taskbar.html", "<div style='position:absolute;inset:0;background:rgba(20,24,32,.96);color:#eee;"
                          "font:14px Liberation Sans;display:flex;align-items:center;padding:0 12px'>"
                          "<b>&#9783; Start</b>&nbsp;&nbsp;&nbsp; Editor &nbsp;|&nbsp; Terminal &nbsp;|&nbsp; "
                          "Dokumentation &nbsp;|&nbsp; Bilder<span style='flex:1'></span>DE &nbsp; 15:42 &nbsp; "
                          "08.12.2025</div>")
    # Windows with their frames, for the composed desktops.
    for name, title, inner, dark in [
        ("win-code", "stdio.h - Editor", editor([("stdio.h", 300)], DARK, 13, 70), True),
        ("win-terminal", "Terminal", terminal(13, 70, 5), True),
        ("win-viewer", "Bildbetrachter", photo_viewer(nature[0], nature), True),
        ("win-sheet", "Umsatz 2024.xlsx", "".join(spreadsheet(14, 45, 12, 6)[0:1]), False),
        ("win-article", "Die Freie Zeitung", article(900, nature[5], 15), False),
    ]:
        style = spreadsheet(1, 1, 12, 0)[1] if name == "win-sheet" else ""
        write(name + ".html", window(title, inner, dark), style)


main()
