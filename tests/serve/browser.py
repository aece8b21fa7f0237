#!/usr/bin/env python3
"""The preview page in a real browser: headless Chromium driven over WebDriver.

browser.py TALMORA                       the test: slider, then an edit on disk seen without a reload
browser.py TALMORA --measure DIR         save-to-frame times and play rate for DIR/scene.xml
browser.py TALMORA --screenshot OUT DIR  a picture of the page serving DIR/scene.xml

Exits 77 (skipped) only when the browser cannot start, saying why.
"""
import base64
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

SKIP = 77


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Driver:
    """One chromedriver and one headless session."""

    def __init__(self):
        binary = shutil.which("chromedriver")
        browser = shutil.which("chromium")
        if not binary or not browser:
            print("skipped: chromium and chromium-driver are not installed (scripts/install-deps.sh installs them)")
            sys.exit(SKIP)
        self.port = free_port()
        self.process = subprocess.Popen([binary, f"--port={self.port}"], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        options = {"binary": browser, "args": ["--headless=new", "--no-sandbox", "--disable-gpu",
                                               "--disable-dev-shm-usage", "--window-size=1400,1000",
                                               "--autoplay-policy=no-user-gesture-required"]}
        deadline = time.time() + 20
        while True:
            try:
                answer = self.call("POST", "/session", {"capabilities": {"alwaysMatch": {
                    "browserName": "chrome", "goog:chromeOptions": options}}})
                break
            except (urllib.error.URLError, ConnectionError) as error:
                if time.time() > deadline:
                    self.process.kill()
                    print(f"skipped: the browser did not start: {error}")
                    sys.exit(SKIP)
                time.sleep(0.2)
        self.session = answer["sessionId"]

    def call(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(f"http://127.0.0.1:{self.port}{path}", data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=60) as response:
                return json.loads(response.read())["value"]
        except urllib.error.HTTPError as error:
            detail = error.read().decode(errors="replace")
            if path == "/session":
                raise ConnectionError(detail)
            raise AssertionError(f"{method} {path}: {detail}")

    def session_call(self, method, path, body=None):
        return self.call(method, f"/session/{self.session}{path}", body)

    def go(self, url):
        self.session_call("POST", "/url", {"url": url})

    def run(self, script, *args):
        return self.session_call("POST", "/execute/sync", {"script": script, "args": list(args)})

    def element(self, css):
        found = self.session_call("POST", "/element", {"using": "css selector", "value": css})
        return next(iter(found.values()))

    def keys(self, css, text):
        self.session_call("POST", f"/element/{self.element(css)}/value", {"text": text})

    def until(self, script, what, timeout=20.0):
        deadline = time.time() + timeout
        while time.time() < deadline:
            value = self.run(script)
            if value:
                return value
            time.sleep(0.02)
        raise AssertionError(f"timed out waiting for {what}")

    def screenshot(self, path):
        with open(path, "wb") as out:
            out.write(base64.b64decode(self.session_call("GET", "/screenshot")))

    def close(self):
        try:
            self.session_call("DELETE", "")
        finally:
            self.process.terminate()
            self.process.wait()


class Server:
    def __init__(self, talmora, script):
        self.process = subprocess.Popen([os.path.abspath(talmora), "--serve", "--port", "0", os.path.basename(script)],
                                        cwd=os.path.dirname(script), stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        if "127.0.0.1:" not in line:
            raise AssertionError(f"no address line: {line!r}")
        self.url = "http://" + line.split("http://")[1].split()[0]

    def stop(self):
        self.process.send_signal(signal.SIGINT)
        status = self.process.wait(timeout=20)
        if status != 130:
            raise AssertionError(f"the server ended with {status}, not 130")


# The picture on screen, as pixels the page can compare.
PIXELS = """const img = document.getElementById('frame');
if (!img.complete || !img.naturalWidth) return '';
const c = document.createElement('canvas'); c.width = img.naturalWidth; c.height = img.naturalHeight;
c.getContext('2d').drawImage(img, 0, 0); return c.toDataURL();"""

SCRIPT = """<talmora width="320" height="180" fps="10" length="4" r="0.1" g="0.1" b="0.3" a="1">
<text sentence="one" fontsize="40" x="0" y="0" width="320" height="90" time="0" duration="2"/>
<text sentence="two" fontsize="40" x="0" y="90" width="320" height="90" time="2" duration="2"/>
</talmora>
"""


def save(path, text):
    """As an editor saves: a whole new file renamed over the old."""
    with open(path + ".new", "w") as out:
        out.write(text)
    os.replace(path + ".new", path)


def test(talmora):
    folder = tempfile.mkdtemp(prefix="talmora-browser-")
    script = os.path.join(folder, "movie.xml")
    save(script, SCRIPT)
    driver = Driver()
    server = None
    try:
        server = Server(talmora, script)
        driver.go(server.url)
        driver.until("return window.talmora && window.talmora.shownVersion >= 1", "the first frame")
        first = driver.until(PIXELS, "the first frame's pixels")
        # The slider moved to its end with the keyboard, as a user would.
        driver.keys("#slider", "\ue010")
        driver.until("return window.talmora.shownIndex === 39", "the last frame")
        last = driver.until(PIXELS, "the last frame's pixels")
        assert last != first, "the frame did not change with the slider"
        assert driver.run("return document.querySelectorAll('#problems li').length") == 0
        driver.run("window.notReloaded = true")
        # A new colour and an attribute no element reads: a new frame and a new problem.
        save(script, SCRIPT.replace('g="0.1"', 'g="0.8"').replace('sentence="two"', 'sentence="two" colour="red"'))
        driver.until("return window.talmora.shownVersion >= 2", "the frame of the edited script")
        edited = driver.until(PIXELS, "the edited frame's pixels")
        assert edited != last, "the frame did not change with the script"
        problem = driver.until("const li = document.querySelector('#problems li'); return li && li.textContent",
                               "the new problem")
        assert problem.startswith("行 3") and "colour" in problem, problem
        assert driver.run("return window.notReloaded === true"), "the page was reloaded"
        # A script that no longer loads: its message, and the last good frame stays.
        save(script, "<talmora><text")
        message = driver.until("const e = document.getElementById('error'); return e.style.display === 'block' && e.textContent",
                               "the loader's message")
        assert "xml" in message.lower() or "エラー" in message, message
        assert driver.run(PIXELS) == edited, "the last good frame was not kept"
        server.stop()
        server = None
    finally:
        if server:
            server.process.kill()
        driver.close()
        shutil.rmtree(folder, ignore_errors=True)
    print("browser: slider, edit on disk and broken script seen in the page")


def measure(talmora, folder, rounds=10):
    """Save-to-shown times at the script's size, and the play rate at half size."""
    script = os.path.join(folder, "scene.xml")
    original = open(script).read()
    driver = Driver()
    server = Server(talmora, script)
    try:
        driver.go(server.url)
        driver.until("return window.talmora && window.talmora.shownVersion >= 1", "the first frame")
        driver.run("document.getElementById('slider').value = 150; document.getElementById('slider').dispatchEvent(new Event('input'))")
        driver.until("return window.talmora.shownIndex === 150", "frame 150")
        times = []
        for i in range(rounds):
            version = driver.run("return window.talmora.shownVersion")
            colour = "0.%03d" % (100 + i)
            saved = time.time() * 1000
            save(script, original.replace('r="0.0627"', f'r="{colour}"'))
            shown = driver.until(f"return window.talmora.shownVersion > {version} && window.talmora.shownAt",
                                 "the saved script's frame")
            times.append(shown - saved)
            time.sleep(0.3)
        driver.run("document.getElementById('slider').value = 0; document.getElementById('slider').dispatchEvent(new Event('input'))")
        driver.until("return window.talmora.shownIndex === 0", "frame 0")
        driver.run("document.getElementById('play').click()")
        time.sleep(10)
        played = driver.run("const t = window.talmora; document.getElementById('play').click(); return [t.played, t.dropped]")
        times.sort()
        print(f"save to frame shown (ms, {rounds} saves): median {times[len(times) // 2]:.0f}, "
              f"min {times[0]:.0f}, max {times[-1]:.0f}")
        print(f"play at half size: {played[0] / 10:.1f} frames/s shown, {played[1]} dropped in 10 s")
    finally:
        save(script, original)
        server.stop()
        driver.close()


def screenshot(talmora, out, folder):
    script = os.path.join(folder, "scene.xml")
    driver = Driver()
    server = Server(talmora, script)
    try:
        driver.go(server.url)
        driver.until("return window.talmora && window.talmora.shownVersion >= 1", "the first frame")
        driver.run("document.getElementById('slider').value = 330; document.getElementById('slider').dispatchEvent(new Event('input'))")
        driver.until("return window.talmora.shownIndex === 330", "frame 330")
        driver.run("document.querySelectorAll('.row')[4].click()")
        driver.until("return window.talmora.shownIndex !== 330", "the chosen element's start")
        time.sleep(0.5)
        driver.screenshot(out)
    finally:
        server.stop()
        driver.close()


if __name__ == "__main__":
    if len(sys.argv) >= 4 and sys.argv[2] == "--measure":
        measure(sys.argv[1], sys.argv[3])
    elif len(sys.argv) >= 5 and sys.argv[2] == "--screenshot":
        screenshot(sys.argv[1], sys.argv[3], sys.argv[4])
    else:
        try:
            test(sys.argv[1])
        except AssertionError as failure:
            print(f"browser: FAILED: {failure}")
            sys.exit(1)
