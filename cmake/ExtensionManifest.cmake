# Writes one browser family's manifest from the extension's manifest.json, which carries the
# keys of both: `cmake -DSOURCE=manifest.json -DBROWSER=chromium|firefox -DOUTPUT=file -P this`.
# Chromium-family browsers get the service worker alone (before version 121 they refuse a
# manifest that also names background scripts) and no Firefox settings; Firefox gets the
# background scripts (it runs no extension service workers) and no Chromium-only keys.
file(READ ${SOURCE} manifest)
if(BROWSER STREQUAL "chromium")
  string(JSON manifest REMOVE "${manifest}" background scripts)
  string(JSON manifest REMOVE "${manifest}" browser_specific_settings)
elseif(BROWSER STREQUAL "firefox")
  string(JSON manifest REMOVE "${manifest}" background service_worker)
  string(JSON manifest REMOVE "${manifest}" minimum_chrome_version)
else()
  message(FATAL_ERROR "BROWSER must be chromium or firefox")
endif()
file(WRITE ${OUTPUT} "${manifest}\n")
