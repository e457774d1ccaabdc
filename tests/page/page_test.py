#!/usr/bin/python3
"""The browser preview as a player meets it: dist/Zephrel-preview.html opened from disk in headless Chromium,
offline, its controls and its INI text driven, the checker's samples loaded into it, a file saved and read back,
and its speed with 50 aircraft measured by its own counters.

Usage: page_test.py PAGE SAMPLES [--screenshot FILE [--picture-only]]. Prints one line a check and a last line
"page: P passed, F failed"; exit status 0, 1 when a check failed, 3 when Chromium cannot be driven here."""

import argparse
import pathlib
import sys
import tempfile
import time

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.actions.wheel_input import ScrollOrigin
    from selenium.webdriver.common.by import By
except ImportError as error:
    print(f"cannot run: {error} (Debian's python3-selenium)")
    sys.exit(3)

# Samples of the checker that explain a file (the others are about its options and paths).
SAMPLES = ["good", "surprises", "ids", "ctrl_z", "binary"]
LIMIT_STEP_MS = 0.5
LIMIT_FPS = 30


def start_browser(downloads):
    options = webdriver.ChromeOptions()
    for argument in ["--headless=new", "--no-sandbox", "--enable-unsafe-swiftshader", "--window-size=1600,1000"]:
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
    driver = webdriver.Chrome(options=options, service=Service("/usr/bin/chromedriver"))
    driver.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": str(downloads)})
    return driver


def expected_report(path):
    """The settings ({key: (value, line)}) and the notes an .expected file of the checker holds."""
    settings, notes, part = {}, [], None
    for line in path.read_text().splitlines():
        if line == "The plug-in will use:" or line == "Worth a look:":
            part = line
        elif not line.strip() or line.startswith("exit status:"):
            part = None
        elif part == "The plug-in will use:":
            key, value, source = line.split(None, 2)
            settings[key] = (value, int(source.split()[1].rstrip(")")) if source.startswith("(line") else 0)
        elif part == "Worth a look:":
            notes.append(line.strip())
    return settings, notes


class Run:
    def __init__(self, driver):
        self.driver, self.passed, self.failed = driver, 0, 0

    def check(self, name, ok, detail=""):
        print(f"{'PASS' if ok else 'FAIL'} {name}{': ' + detail if detail and not ok else ''}", flush=True)
        if ok:
            self.passed += 1
        else:
            self.failed += 1

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def stats(self):
        return self.js("return window.zephrel.stats()")

    def text(self):
        return self.js("return window.zephrel.text()")

    def canvas_sample(self):
        """The canvas just after the page drew a frame: its number of colours and a hash of its pixels."""
        return self.driver.execute_async_script("""
            var done = arguments[0];
            requestAnimationFrame(function () {
              var view = document.getElementById('view'), copy = document.createElement('canvas');
              copy.width = 240; copy.height = 135;
              var g = copy.getContext('2d'); g.drawImage(view, 0, 0, 240, 135);
              var data = g.getImageData(0, 0, 240, 135).data, colours = {}, hash = 2166136261;
              for (var i = 0; i < data.length; i += 4) colours[data[i] + ',' + data[i + 1] + ',' + data[i + 2]] = 1;
              for (var i = 0; i < data.length; i++) hash = Math.imul(hash ^ data[i], 16777619) >>> 0;
              done({ colours: Object.keys(colours).length, hash: hash });
            });""")

    def load_file(self, path):
        self.driver.find_element(By.ID, "file").send_keys(str(path))
        time.sleep(0.3)

    def settings(self):
        return {s["key"]: (s["value"], s["line"]) for s in self.stats()["settings"]}


def take_picture(run, path):
    """The page's picture for the README: a dozen aircraft, half a minute of the game's flight, and a line that does
    not do what it seems."""
    text = run.text().replace("TrailFadeTime=10000.0", "TrailFadeTime=20000") + "enabletrail=0\n"
    run.js("window.zephrel.load(arguments[0]); var c = document.getElementById('count'); c.value = 12;"
           "c.oninput(); document.getElementById('speed').value = 4;", list(text.encode()))
    time.sleep(6)
    run.js("document.getElementById('speed').value = 1;")
    run.driver.save_screenshot(path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("page")
    parser.add_argument("samples")
    parser.add_argument("--screenshot", help="after the checks, the page's picture into this file")
    parser.add_argument("--picture-only", action="store_true", help="no checks: only the picture (scripts/build)")
    options = parser.parse_args()
    page = pathlib.Path(options.page).resolve()
    samples = pathlib.Path(options.samples).resolve()
    downloads = pathlib.Path(tempfile.mkdtemp(prefix="zephrel-page-"))
    try:
        driver = start_browser(downloads)
    except Exception as error:  # no browser, or one that cannot start here
        print(f"cannot run: Chromium does not start here: {str(error).splitlines()[0]}")
        return 3
    run = Run(driver)
    if options.picture_only:
        try:
            driver.get(page.as_uri())
            deadline = time.time() + 20
            while not run.js("return !!(window.zephrel && window.zephrel.ready())") and time.time() < deadline:
                time.sleep(0.2)
            take_picture(run, options.screenshot)
        finally:
            driver.quit()
        return 0
    try:
        size = page.stat().st_size
        run.check("one file of at most 1.5 MB", size <= 1.5 * 1024 * 1024, f"{size} bytes")
        driver.get(page.as_uri())
        deadline = time.time() + 20
        while not run.js("return !!(window.zephrel && window.zephrel.ready())") and time.time() < deadline:
            time.sleep(0.2)
        time.sleep(3)
        errors = [e["message"] for e in driver.get_log("browser") if e["level"] == "SEVERE"]
        run.check("loads from file:// with no console error", not errors, "; ".join(errors))
        requests = [e["message"] for e in driver.get_log("performance") if '"Network.requestWillBeSent"' in e["message"]]
        remote = [r for r in requests if '"url":"http' in r or '"url":"ws' in r]
        resources = run.js("return performance.getEntriesByType('resource').map(function (e) { return e.name; })")
        run.check("asks the network for nothing", not remote and not resources, f"{remote[:1]} {resources}")

        first = run.canvas_sample()
        time.sleep(1)
        second = run.canvas_sample()
        run.check("the canvas is not blank", first["colours"] >= 4, f"{first['colours']} colours")
        run.check("two frames a second apart differ", first["hash"] != second["hash"])
        stats = run.stats()
        keys = [line for line in run.text().split("\n") if "=" in line]
        run.check("every key of the shipped Zephrel.ini has its control", stats["controls"] == len(keys) >= 12,
                  f"{stats['controls']} controls, {len(keys)} keys")

        # The camera turns by a drag and zooms by the wheel, and the plug-in sees where it is: from afar, beyond
        # BannerDrawDistance, no banner is drawn.
        view = driver.find_element(By.ID, "view")
        before = run.stats()["camera"]
        ActionChains(driver).drag_and_drop_by_offset(view, 120, 0).perform()
        run.check("a drag turns the camera", run.stats()["camera"]["yaw"] != before["yaw"])
        ActionChains(driver).scroll_from_origin(ScrollOrigin.from_element(view), 0, 2500).perform()
        time.sleep(0.5)
        far = run.stats()
        ActionChains(driver).scroll_from_origin(ScrollOrigin.from_element(view), 0, -2500).perform()
        time.sleep(0.5)
        near = run.stats()
        run.check("the wheel zooms out past the banners' draw distance, and back",
                  far["camera"]["distance"] > 1000 and far["bannerTriangles"] == 0 < near["bannerTriangles"],
                  f"{far['camera']['distance']:.0f} away: {far['bannerTriangles']} triangles, "
                  f"{near['camera']['distance']:.0f} away: {near['bannerTriangles']}")

        # Banners off by their switch: the file says so, and the plug-in draws no cloth.
        before = run.stats()["bannerTriangles"]
        driver.find_element(By.ID, "set-EnableBanner").click()
        time.sleep(0.5)
        stats = run.stats()
        run.check("the banner switch writes EnableBanner=0 into the text", "EnableBanner=0" in run.text().split("\n"))
        run.check("with banners off the plug-in draws no banner triangle", before > 0 and stats["bannerTriangles"] == 0,
                  f"{before} triangles before, {stats['bannerTriangles']} after")

        # Height=5000 typed into the text: the control follows, and the aircraft below it leave no new points.
        text = driver.find_element(By.ID, "ini")
        newest = run.stats()["newestTrailPoint"]
        time.sleep(2.5)
        run.check("trail aircraft below Height leave points", run.stats()["newestTrailPoint"] > newest)
        # The value of the Height line selected, then typed over, key by key.
        run.js("""var t = document.getElementById('ini'), at = t.value.indexOf('Height=') + 7;
                  t.focus(); t.setSelectionRange(at, t.value.indexOf('\\n', at));""")
        text.send_keys("5000")
        time.sleep(0.5)
        height = run.js("return [document.getElementById('set-Height').value, "
                        "document.getElementById('slide-Height').value]")
        run.check("Height=5000 in the text moves its field and slider", height == ["5000", "1000"], str(height))
        newest = run.stats()["newestTrailPoint"]
        time.sleep(2.5)
        run.check("above the aircraft, Height stops new trail points", run.stats()["newestTrailPoint"] == newest)

        # The sky trails at night: their lights blink, and the caption names what differs from the defaults.
        driver.find_element(By.ID, "set-ReplaceTrailsInTheSky").click()
        run.js("document.getElementById('hour').value = 1;")
        field = driver.find_element(By.ID, "set-ModelIDForTrail")
        field.send_keys("\b\b\b600")
        lights = 0
        for _ in range(12):
            time.sleep(0.1)
            lights = max(lights, run.stats()["lightSprites"])
        run.js("document.getElementById('hour').value = 12;")
        caption = run.stats()["caption"]
        run.check("at night the sky trails show their three lights", lights == 3, f"{lights} lights")
        run.check("the caption names the models flown and the settings changed",
                  "model 600 " in caption and "ReplaceTrailsInTheSky=true" in caption and "Height=5000" in caption,
                  caption)

        # Saved with CR LF, and read back to the same settings.
        saved_settings = run.settings()
        driver.find_element(By.ID, "save").click()
        saved = downloads / "Zephrel.ini"
        deadline = time.time() + 10
        while not saved.exists() and time.time() < deadline:
            time.sleep(0.2)
        data = saved.read_bytes() if saved.exists() else b""
        run.check("Save writes Zephrel.ini with CR LF line ends",
                  data and data.count(b"\n") == data.count(b"\r\n") == data.count(b"\r"), repr(data[:60]))
        driver.find_element(By.ID, "defaults").click()
        run.load_file(saved)
        run.check("the saved file reads back to the same settings", run.settings() == saved_settings,
                  f"{run.settings()} != {saved_settings}")

        # The checker's samples, opened by the file picker (the last one dropped on the page): the same notes, the
        # same values from the same lines.
        for name in SAMPLES:
            path = samples / f"{name}.ini"
            if name == SAMPLES[-1]:
                run.js("""var t = new DataTransfer();
                          t.items.add(new File([new Uint8Array(arguments[0])], 'Zephrel.ini'));
                          document.dispatchEvent(new DragEvent('drop', { dataTransfer: t, bubbles: true }));""",
                       list(path.read_bytes()))
                time.sleep(0.3)
            else:
                run.load_file(path)
            settings, notes = expected_report(samples / f"{name}.expected")
            got = run.stats()
            run.check(f"sample {name}: the checker's notes", got["notes"] == notes, f"{got['notes']} != {notes}")
            run.check(f"sample {name}: the settings and their lines", run.settings() == settings,
                      f"{run.settings()} != {settings}")

        # A control writes its key where the plug-in will read it: over the line that sets it (or does not convert),
        # under the first [MAIN], or in a new [MAIN] at the end; the rest of the file stays as it was.
        for before_text, control, after_text in [
            ("[MAIN]\r\nHeight=50\r\n", "set-EnableTrail", "[MAIN]\r\nEnableTrail=0\r\nHeight=50\r\n"),
            ("[main]\nx=1\n", "set-EnableTrail", "[main]\nx=1\n[MAIN]\nEnableTrail=0\n"),
            ("EnableTrail=1\n[MAIN]\nEnableTrail=1\r\n", "set-EnableTrail",
             "EnableTrail=1\n[MAIN]\nEnableTrail=0\r\n"),
        ]:
            run.js("window.zephrel.load(arguments[0])", list(before_text.encode()))
            driver.find_element(By.ID, control).click()
            got = run.stats()
            run.check(f"a switch edits {before_text!r} in place",
                      run.text() == after_text and run.settings()["EnableTrail"][0] == "false", repr(run.text()))
        run.js("window.zephrel.load(arguments[0])", list(b"[MAIN]\nModelIDForBanner=abc\n"))
        driver.find_element(By.ID, "set-ModelIDForBanner").send_keys("\b\b\b7")
        run.check("a model id field replaces the line that does not convert",
                  run.text() == "[MAIN]\nModelIDForBanner=7\n", repr(run.text()))

        # A file over 1 MiB is no configuration: every default, and the checker's words for it.
        run.js("window.zephrel.load(new TextEncoder().encode('[MAIN]\\nHeight=5\\n' + '\\n'.repeat(1048576)))")
        got = run.stats()
        shown = run.js("return document.getElementById('ini').value.length")
        run.check("a file over 1 MiB reads as all defaults, says so, and is not shown",
                  run.settings()["Height"] == ("100", 0) and len(got["notes"]) == 1 and "1 MiB" in got["notes"][0]
                  and shown == 0, f"{got['notes']}, {shown} characters shown")

        # Paused, the flight stands still and so does the picture; played, both go on.
        driver.find_element(By.ID, "defaults").click()
        time.sleep(2.5)
        driver.find_element(By.ID, "pause").click()
        time.sleep(0.3)
        paused = run.stats()["newestTrailPoint"], run.canvas_sample()["hash"]
        time.sleep(2.5)
        still = run.stats()["newestTrailPoint"], run.canvas_sample()["hash"]
        driver.find_element(By.ID, "pause").click()
        time.sleep(2.5)
        run.check("Pause stops the flight and its picture, and Play goes on",
                  paused == still and run.stats()["newestTrailPoint"] > paused[0])

        # Speed with 50 aircraft, by the page's own counters.
        driver.find_element(By.ID, "defaults").click()
        run.js("var c = document.getElementById('count'); c.value = 50; c.oninput();")
        time.sleep(2)
        fps, steps = [], []
        for _ in range(5):
            time.sleep(1)
            stats = run.stats()
            fps.append(stats["fps"])
            steps.append(stats["stepMs"])
        fps.sort()
        steps.sort()
        print(f"speed with {stats['aircraft']} aircraft at 960x540: {fps[2]} frames a second, the plug-in's step "
              f"{steps[2]:.3f} ms a frame (medians of 5 one-second readings: {fps}; most {stats['stepMsMax']:.3f} ms)")
        run.check(f"the plug-in's step takes at most {LIMIT_STEP_MS} ms a frame", steps[2] <= LIMIT_STEP_MS)
        run.check(f"the page draws at least {LIMIT_FPS} frames a second", fps[2] >= LIMIT_FPS)
        if options.screenshot:
            take_picture(run, options.screenshot)
    finally:
        driver.quit()
    print(f"page: {run.passed} passed, {run.failed} failed")
    return 1 if run.failed else 0


if __name__ == "__main__":
    sys.exit(main())
