"""The study report in a real browser (headless Chromium): the reports of three
examples (from native files, from a BIDS dataset, and with an analysis and a
power table beside the run) load with no resource
failing and nothing fetched from outside the page, every section is there with its
explanation, every inline image decodes, each section's screenshot shows a page
with figures (not a blank), and the page prints with each section on its own
pages. Screenshots and the printed PDF stay in <build>/test-artifacts/report.
Skips (77) only when Chromium cannot start."""
import json
import os
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "report_support"))
from headless_chromium import Browser, ChromiumUnavailable  # noqa: E402
from png_pixels import decode  # noqa: E402
from report_runs import SECTIONS, example_reports  # noqa: E402

ARTEFACTS = os.path.join(os.environ["COHORTIX_BUILD_DIR"], "test-artifacts", "report")

PAGE_FACTS = """(async () => {
  const sections = %s.map(id => {
    const s = document.getElementById(id);
    if (!s) return {id, present: false};
    const r = s.getBoundingClientRect();
    return {id, present: true, heading: !!s.querySelector('h2'),
            hint: (s.querySelector('p.hint') || {}).textContent || '',
            figures: s.querySelectorAll('svg').length,
            x: r.left + scrollX, y: r.top + scrollY, width: r.width, height: r.height};
  });
  const links = [...document.querySelectorAll('nav a')].map(a => a.getAttribute('href'));
  const brokenLinks = links.filter(h => !document.getElementById(h.slice(1)));
  const sources = [...document.querySelectorAll('[src],[href]')]
      .map(e => e.getAttribute('src') || e.getAttribute('href'))
      .filter(u => !u.startsWith('#') && !u.startsWith('data:'));
  const images = await Promise.all([...document.querySelectorAll('image')].map(e => {
    const i = new Image(); i.src = e.getAttribute('href');
    return i.decode().then(() => i.naturalWidth > 0, () => false);
  }));
  return {sections, links, brokenLinks, sources, images: images.length,
          undecoded: images.filter(ok => !ok).length,
          width: document.documentElement.scrollWidth, viewport: innerWidth};
})()"""


def problems_in(events, session):
    """Failed loads, requests for anything but the page itself, errors logged."""
    found = []
    for event in events:
        if event.get("sessionId") != session:
            continue
        method, params = event.get("method"), event.get("params", {})
        if method == "Network.loadingFailed":
            found.append(f"failed to load: {params}")
        elif method == "Network.requestWillBeSent":
            url = params["request"]["url"]
            if not url.startswith(("file://", "data:")):
                found.append(f"fetched from outside the page: {url}")
        elif method == "Log.entryAdded" and params["entry"]["level"] == "error":
            found.append(f"logged: {params['entry']}")
        elif method == "Runtime.exceptionThrown":
            found.append(f"exception: {params}")
        elif method == "Runtime.consoleAPICalled" and params.get("type") == "error":
            found.append(f"console error: {params}")
    return found


def check_screenshot(png, name):
    pixels = decode(png).astype(np.int32)[:, :, :3]
    luminance = pixels.mean(axis=2)
    inked = float((luminance < 200).mean())
    coloured = float(((pixels.max(axis=2) - pixels.min(axis=2)) > 60).mean())
    assert luminance.std() > 10 and inked > 0.01, f"{name}: looks blank (ink {inked:.4f})"
    return inked, coloured


def check_report(browser, name, path):
    session, seconds = browser.open_page("file://" + os.path.abspath(path), 1280, 900)
    facts = browser.evaluate(PAGE_FACTS % json.dumps(SECTIONS), session)
    problems = problems_in(browser.events, session)
    assert not problems, f"{name}: " + "\n".join(problems)
    assert not facts["sources"], f"{name}: external references {facts['sources'][:5]}"
    assert not facts["brokenLinks"] and len(facts["links"]) == len(SECTIONS), facts["links"]
    assert facts["images"] > 0 and facts["undecoded"] == 0, facts
    assert facts["width"] <= facts["viewport"], f"{name}: wider than a laptop screen: {facts['width']} px"
    for section in facts["sections"]:
        sid = section["id"]
        assert section["present"] and section["heading"], f"{name}: section {sid} missing"
        assert section["hint"].startswith("What to look for:"), f"{name}: {sid} has no explanation"
        clip = {k: section[k] for k in ("x", "y", "width", "height")}
        clip["height"] = min(clip["height"], 6000)
        png = browser.screenshot(session, clip)
        with open(os.path.join(ARTEFACTS, f"{name}-{sid}.png"), "wb") as out:
            out.write(png)
        inked, coloured = check_screenshot(png, f"{name} {sid}")
        if sid in ("design", "truth", "data") or (sid == "results" and name == "region-of-interest"):
            assert section["figures"] > 0 and coloured > 0.002, f"{name} {sid}: no figure in colour"
    pdf = browser.call("Page.printToPDF", {"printBackground": True}, session=session)["data"]
    import base64
    pdf = base64.b64decode(pdf)
    with open(os.path.join(ARTEFACTS, f"{name}.pdf"), "wb") as out:
        out.write(pdf)
    pages = pdf.count(b"/Type /Page") - pdf.count(b"/Type /Pages")
    assert pages >= len(SECTIONS) + 1, f"{name}: printed on {pages} pages"
    print(f"{name}: {os.path.getsize(path)} bytes, loaded in {seconds:.2f} s, "
          f"{facts['images']} images, printed on {pages} pages")


def main():
    os.makedirs(ARTEFACTS, exist_ok=True)
    out, reports = example_reports("report_browser")
    try:
        browser = Browser(os.path.join(out, "chromium.log"))
    except ChromiumUnavailable as reason:
        print(f"skipped: {reason}")
        return 77
    try:
        for name, path in reports.items():
            check_report(browser, name, path)
    finally:
        browser.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
