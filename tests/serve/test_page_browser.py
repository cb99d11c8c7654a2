"""The status page in a real browser: headless Chromium opens the page of a service collecting
simulated terminals, one of them away, and reads what a person would see."""
import collections
import datetime
import os

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

from serve_site import movar_records, seed_facts, wait_for


def browser():
    options = webdriver.ChromeOptions()
    for argument in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1300,900"]:
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def test_the_page_shows_the_away_terminal_failing_and_a_bar_for_each_day_with_facts(make_site):
    site = make_site(20, terminals=2, away=["door"])
    today = datetime.date.today()
    # Facts on some of the last 30 days (and one day before them, which the plot leaves out).
    seeded = [(site.names["t1"], person, f"{today - datetime.timedelta(days=back)} 0{person % 10}:15")
              for back, people in [(0, 3), (2, 7), (9, 1), (29, 4), (31, 5)] for person in range(people)]
    seed_facts(site.store, seeded)
    site.start()
    site.collected("t1", "t2", "door")
    first = str(today - datetime.timedelta(days=29))
    expected = collections.Counter(f["time"][:10] for f in movar_records(site.store, "--from", first))
    driver = browser()
    try:
        driver.get(f"http://{site.http}/")
        row = driver.find_element(By.CSS_SELECTOR, 'tr[data-terminal="door"]')
        assert row.find_element(By.CLASS_NAME, "state").text == "failing"
        assert "failed: Connection refused" in row.find_element(By.CLASS_NAME, "reason").text
        assert "door" in driver.find_element(By.ID, "summary").text
        bars = {bar.get_attribute("data-day"): int(bar.get_attribute("data-facts"))
                for bar in driver.find_elements(By.CSS_SELECTOR, "svg.plot rect.day")}
        assert bars == dict(expected)
        assert all(driver.find_element(By.CSS_SELECTOR, f'rect[data-day="{d}"]').size["height"] > 0 for d in bars)
        driver.save_screenshot(os.environ.get("MOVAR_SCREENSHOT", str(site.tmp / "page.png")))
        driver.get(f"http://{site.http}/terminal/t2")
        assert driver.find_elements(By.CSS_SELECTOR, "svg.plot rect.day") == []
        assert driver.find_element(By.CSS_SELECTOR, 'tr[data-terminal="t2"] .state').text == "ok"
    finally:
        driver.quit()
