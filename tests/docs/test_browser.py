"""The built site as a reader sees it: the home page and the tutorial opened
in headless Chromium over a local HTTP port, every image loaded, and the
search answering a query."""
import functools
import http.server
import os
import tempfile
import threading
import time

import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service


@pytest.fixture(scope="module")
def server(site):
    handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=site)
    handler.log_message = lambda *args: None
    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=httpd.serve_forever, daemon=True).start()
    yield f"http://127.0.0.1:{httpd.server_address[1]}"
    httpd.shutdown()


@pytest.fixture(scope="module")
def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    profile = tempfile.mkdtemp(prefix="fluviagen-chromium-")
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 f"--user-data-dir={profile}", "--window-size=1280,1024"):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(60)
    yield driver
    driver.quit()


def wait_for(condition, seconds=30):
    end = time.time() + seconds
    while time.time() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    return condition()


IMAGES = "return Array.from(document.images).map(i => [i.getAttribute('src'), i.complete, i.naturalWidth]);"


@pytest.mark.parametrize("page, least", [("index.html", 1), ("tutorial.html", 2)])
def test_every_image_loads(server, browser, page, least):
    browser.get(f"{server}/{page}")
    wait_for(lambda: browser.execute_script("return document.readyState") == "complete")
    images = wait_for(lambda: [i for i in browser.execute_script(IMAGES) if i[1]] and browser.execute_script(IMAGES))
    content = [i for i in images if "_static" not in (i[0] or "")]
    assert len(content) >= least, f"{page} shows {len(content)} figures"
    broken = [src for src, complete, width in images if not complete or width == 0]
    assert not broken, f"{page}: images not loaded: {broken}"


@pytest.mark.parametrize("query, page", [("gw", "outputs/statistics"), ("Weir", "outputs/statistics")])
def test_search_answers(server, browser, query, page):
    browser.get(f"{server}/search.html?q={query}")
    found = wait_for(lambda: browser.execute_script(
        "return Array.from(document.querySelectorAll('#search-results li a')).map(a => a.getAttribute('href'));"))
    assert found, f"the search for {query} found nothing"
    assert any(page in href for href in found), f"the search for {query} found {found}, not {page}"
