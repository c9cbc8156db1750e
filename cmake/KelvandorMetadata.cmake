# SPDX-License-Identifier: GPL-3.0-or-later
# Who makes the programs, where they live and what the desktop knows them by. Every file
# that names one of these takes it from here: the package's control fields, copyright
# file and changelog, the AppStream metainfo, the desktop entry, the manual pages and each
# program's --version.

# The AppStream ID: the names of the desktop entry, the icon and the metainfo, and the
# controller's desktop file name.
set(KELVANDOR_APP_ID com.kelvandor.Controller)

set(KELVANDOR_MAINTAINER_NAME "Kelvandor developers" CACHE STRING
    "Who maintains the programs and holds their copyright")
set(KELVANDOR_MAINTAINER_EMAIL "developers@kelvandor.example" CACHE STRING
    "The maintainer's mail address")
set(KELVANDOR_WEB_URL "https://kelvandor.example" CACHE STRING
    "Where the project's pages are published: the package's and the metainfo's home page, and \
its screenshot at <url>/docs/screenshots/main-window.png")

# "Name <address>", as Debian's control fields and changelog write a maintainer.
set(KELVANDOR_MAINTAINER "${KELVANDOR_MAINTAINER_NAME} <${KELVANDOR_MAINTAINER_EMAIL}>")
# The years and holder of the copyright notices.
set(KELVANDOR_COPYRIGHT "2026 ${KELVANDOR_MAINTAINER_NAME}")
