# Run after the page is linked (cmake -P): the service worker, its cache
# named after a hash of the files it keeps, so that each build's page is
# cached anew and an unchanged one is not.
set(hashed "")
foreach(file index.html index.js index.wasm capture.js tracker.js libopenmpt.worklet.js
             manifest.webmanifest icon.svg makevideo.js mediabunny.js mediabunny-aac-encoder.js)
  file(SHA256 ${BIN}/${file} sum)
  string(APPEND hashed ${sum})
endforeach()
file(SHA256 ${SOURCE} sum)
string(APPEND hashed ${sum})
string(SHA256 version ${hashed})
string(SUBSTRING ${version} 0 16 STARLUME_PAGE_VERSION)
configure_file(${SOURCE} ${BIN}/sw.js @ONLY)
