"""Headless Chromium driven over the DevTools protocol through a pipe
(--remote-debugging-pipe: JSON messages ended by NUL on file descriptors 3 and 4),
so no port is opened and no websocket library is needed. Every flag that would
make Chromium reach for the network is off: the machine may have none."""
import base64
import json
import os
import shutil
import subprocess
import tempfile
import time

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--hide-scrollbars", "--remote-debugging-pipe"]


def chromium_path():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    return None


class ChromiumUnavailable(Exception):
    pass


class Browser:
    """One Chromium with a fresh profile; one page at a time."""

    def __init__(self, log_path, timeout=60):
        executable = chromium_path()
        if executable is None:
            raise ChromiumUnavailable("chromium is not installed (Debian package chromium)")
        self.timeout = timeout
        self.profile = tempfile.mkdtemp(prefix="cohortix-chromium-")
        to_browser_read, self._to_browser = os.pipe()
        self._from_browser, from_browser_write = os.pipe()

        def child_fds():
            os.dup2(to_browser_read, 3)
            os.dup2(from_browser_write, 4)

        self.log = open(log_path, "w")
        self.process = subprocess.Popen(
            [executable, *FLAGS, "--user-data-dir=" + self.profile, "about:blank"],
            pass_fds=(3, 4), preexec_fn=child_fds, stdout=self.log, stderr=self.log,
            stdin=subprocess.DEVNULL)
        os.close(to_browser_read)
        os.close(from_browser_write)
        self._buffer = b""
        self._next_id = 0
        self.events = []
        try:
            self.call("Browser.getVersion")
        except (OSError, EOFError, TimeoutError) as error:
            self.close()
            raise ChromiumUnavailable(f"chromium did not start: {error}; see {log_path}")

    def _receive(self, deadline):
        while b"\0" not in self._buffer:
            if time.monotonic() > deadline:
                raise TimeoutError("no answer from chromium")
            import select
            ready, _, _ = select.select([self._from_browser], [], [], 0.5)
            if not ready:
                if self.process.poll() is not None:
                    raise EOFError(f"chromium exited with status {self.process.returncode}")
                continue
            chunk = os.read(self._from_browser, 1 << 20)
            if not chunk:
                raise EOFError("chromium closed its pipe")
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, session=None):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self._to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + self.timeout
        while True:
            answer = self._receive(deadline)
            if answer.get("id") == self._next_id:
                if "error" in answer:
                    raise RuntimeError(f"{method}: {answer['error']}")
                return answer.get("result", {})
            self.events.append(answer)

    def wait_for_event(self, method, session):
        deadline = time.monotonic() + self.timeout
        while True:
            for event in self.events:
                if event.get("method") == method and event.get("sessionId") == session:
                    return event
            self.events.append(self._receive(deadline))

    def open_page(self, url, width, height):
        """Loads url in a new page; returns (session, seconds until the load event)."""
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Page", "Network", "Runtime", "Log"):
            self.call(domain + ".enable", session=session)
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False},
                  session=session)
        self.events.clear()
        started = time.monotonic()
        self.call("Page.navigate", {"url": url}, session=session)
        self.wait_for_event("Page.loadEventFired", session)
        return session, time.monotonic() - started

    def evaluate(self, expression, session):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True}, session=session)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def screenshot(self, session, clip=None):
        # Fast encoding filters rows with None, Sub or Up only: quick to decode.
        params = {"format": "png", "captureBeyondViewport": True, "optimizeForSpeed": True}
        if clip:
            params["clip"] = {**clip, "scale": 1}
        return base64.b64decode(self.call("Page.captureScreenshot", params, session=session)["data"])

    def close(self):
        try:
            if self.process.poll() is None:
                try:
                    os.write(self._to_browser, json.dumps(
                        {"id": 0, "method": "Browser.close", "params": {}}).encode() + b"\0")
                    self.process.wait(timeout=10)
                except (OSError, subprocess.TimeoutExpired):
                    self.process.kill()
                    self.process.wait()
        finally:
            for fd in (self._to_browser, self._from_browser):
                try:
                    os.close(fd)
                except OSError:
                    pass
            self.log.close()
            shutil.rmtree(self.profile, ignore_errors=True)
