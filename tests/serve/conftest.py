import pytest

from serve_site import Site


@pytest.fixture
def make_site(tmp_path):
    made = []

    def make(*args, **kwargs):
        site = Site(tmp_path, *args, **kwargs)
        made.append(site)
        return site

    yield make
    for site in made:
        site.stop()
