"""The run viewer in a real browser: headless Chromium shows, at each step,
the packet counts the simulation reported at that step."""

import os
import shutil

import pytest
import vornix_sim as vs
import vornix_tools as vt
from tools_support import chain_graph, drive

CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"


def _missing():
    try:
        import selenium  # noqa: F401
    except ImportError:
        return "the selenium package is not installed (scripts/test_tools.sh installs it)"
    for path in (CHROMIUM, CHROMEDRIVER):
        if not os.path.exists(path):
            return f"{path} is missing (Debian packages chromium and chromium-driver)"
    if "LD_PRELOAD" in os.environ:
        return "not run under the sanitizer preload"
    return None


@pytest.fixture(scope="module")
def browser():
    reason = _missing()
    if reason:
        if os.environ.get("VORNIX_REQUIRE_BROWSER") == "1":
            pytest.fail(f"browser tests required but cannot run: {reason}")
        pytest.skip(reason)
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM  # with both paths given, selenium-manager is not asked
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--window-size=1400,900"):
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service(executable_path=CHROMEDRIVER), options=options)
    yield driver
    driver.quit()


SHOWN = """
var counts = {}, epochs = {};
document.querySelectorAll('[data-key]').forEach(function(el){ counts[el.dataset.key] = +el.textContent; });
document.querySelectorAll('#epochs tr[data-epoch]').forEach(function(tr){
  epochs[tr.dataset.epoch] = [tr.querySelector('[data-field=state]').textContent,
                              +tr.querySelector('[data-field=inside]').textContent];
});
return [document.getElementById('position').textContent, counts, epochs];
"""


def test_page_shows_the_simulation_counts_at_each_step(browser, tmp_path):
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys

    graph = chain_graph()
    recorder = vt.Recorder(vs.NetSim(graph))
    snapshots = {}
    drive(recorder, graph, snapshots)
    page = vt.write_html(recorder, str(tmp_path / "run.html"))
    browser.get("file://" + page)
    n = len(recorder.entries)

    def check(step):
        position, counts, epochs = browser.execute_script(SHOWN)
        assert position == f"step {step} / {n}"
        if step in snapshots:
            want_counts, want_epochs = snapshots[step]
            assert counts == want_counts, f"step {step}"
            assert epochs == {k: list(v) for k, v in want_epochs.items()}, f"step {step}"
        return counts

    body = browser.find_element(By.TAG_NAME, "body")
    assert set(check(0).values()) == {0}
    busy = 0
    for step in range(1, n + 1):  # the keyboard
        body.send_keys(Keys.ARROW_RIGHT)
        busy += any(check(step).values())
    assert busy > n // 2
    browser.find_element(By.ID, "first").click()  # the buttons
    check(0)
    browser.find_element(By.ID, "last").click()
    check(n)
    browser.find_element(By.ID, "prev").click()
    check(n - 1)
    middle = sorted(snapshots)[len(snapshots) // 2]
    browser.execute_script(  # the slider, as a drag leaves it
        "var s = document.getElementById('slider'); s.value = arguments[0];"
        "s.dispatchEvent(new Event('input'));", middle)
    check(middle)
    body.send_keys(Keys.HOME)
    check(0)
    events = browser.find_elements(By.CSS_SELECTOR, "#events li")
    assert [e.text for e in events] == [""]
    body.send_keys(Keys.END)
    assert browser.find_element(By.ID, "events").text.count("\n") + 1 == len(recorder.entries[-1].events)
