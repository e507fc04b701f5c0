# The documentation site of Fluviagen: Markdown pages (MyST) built by Sphinx.
#
#   /usr/bin/python3 -m sphinx -W --keep-going -b html docs build/docs
#
# Everything the site needs comes from Debian packages (tag "docs" in
# packages/debian.txt); the pages load nothing from the network, so the site
# reads the same offline.
project = "Fluviagen"
author = "the Fluviagen developers"
copyright = "the Fluviagen developers"

extensions = ["myst_parser"]
source_suffix = {".md": "markdown"}
root_doc = "index"
exclude_patterns = ["_build", "scripts", "figures/README.md"]
myst_enable_extensions = ["colon_fence", "deflist"]
# Headings get anchors down to the third level, so pages can link to a
# subsection as page.md#anchor.
myst_heading_anchors = 3

html_theme = "furo"
html_title = "Fluviagen"
html_static_path = []
html_show_sourcelink = False
# Formulas are written in plain text: no MathJax from the network.
html_math_renderer = None

# Links inside the site are checked by the build: a page or anchor that does
# not exist is a warning, and the build treats warnings as errors.
nitpicky = False
suppress_warnings = []


# Debian's Furo imports normalize.css from the web server's root
# (/javascript/normalize.css/, where Debian's documentation packages find it);
# a site opened from its folder or served on its own would miss it. The build
# copies Debian's normalize.css beside the theme's style sheet and imports it
# from there.
NORMALIZE = "/usr/share/javascript/normalize.css/normalize.css"


def local_normalize(app, exception):
    import os
    import shutil
    styles = os.path.join(app.outdir, "_static", "styles")
    sheet = os.path.join(styles, "furo.css")
    if exception is not None or app.builder.format != "html" or not os.path.exists(sheet):
        return
    text = open(sheet, encoding="utf-8").read()
    absolute = "@import url(/javascript/normalize.css/normalize.css);"
    if absolute in text:
        shutil.copyfile(NORMALIZE, os.path.join(styles, "normalize.css"))
        open(sheet, "w", encoding="utf-8").write(text.replace(absolute, "@import url(normalize.css);"))


def setup(app):
    app.connect("build-finished", local_normalize)
