// The page's takes: the Record, Save take and Open take buttons. The take
// itself, its writing and its reading, is the wasm module's, as native.
mergeInto(LibraryManager.library, {
  page_takeinit__deps: ['$pageString', 'malloc', 'free'],
  page_takeinit: function () {
    var canvas = Module.canvas;
    document.getElementById('record').addEventListener('click', function () {
      _page_record();
      canvas.focus();
    });
    document.getElementById('savetake').addEventListener('click', function () {
      _page_savetake();
      canvas.focus();
    });
    var field = document.getElementById('opentake');
    field.addEventListener('change', function () {
      var file = field.files[0];
      field.value = '';
      if (!file) return;
      file.arrayBuffer().then(function (data) {
        // The bytes as they are: the reading says what is wrong with them.
        var bytes = new Uint8Array(data), p = _malloc(bytes.length + 1), n = pageString(file.name);
        HEAPU8.set(bytes, p);
        HEAPU8[p + bytes.length] = 0;
        _page_opentake(n, p, bytes.length);
        _free(p);
        _free(n);
      });
      canvas.focus();
    });
  },

  page_recording: function (on) {
    document.getElementById('record').textContent = on ? 'Stop' : 'Record';
  },

  page_download: function (name, text) {
    var blob = new Blob([UTF8ToString(text)], { type: 'text/plain' });
    var link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = UTF8ToString(name);
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(function () { URL.revokeObjectURL(link.href); }, 0);
  },
});
