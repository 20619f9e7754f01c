// The page's platform glue, linked with --js-library: Web Audio (a file
// decoded at 44100 Hz and played, the position heard, live sound through an
// AudioWorklet), the buttons, the drop, the URL's parameters, fullscreen and
// the star count field. The show itself is all in the wasm module.
mergeInto(LibraryManager.library, {
  $Page: {
    context: null,
    buffer: null,      // the decoded music
    source: null,      // its AudioBufferSourceNode while it plays
    startAt: 0,        // the context time its first sample plays at
    heard: -1,         // ms of the music heard so far
    latency: -1,       // ms from the page to the ear, when given
    stream: null,      // live sound's MediaStream and worklet node
    node: null,
    chunk: 0,          // a buffer in wasm memory for live sound
    chunkFloats: 0,
    tracker: null,     // the module player's worker, once a module is opened
    modules: 0,        // modules asked of it
  },

  $pageContext__deps: ['$Page'],
  $pageContext: function () {
    // At 44100 Hz the decoded music needs no resampler.
    if (!Page.context) Page.context = new AudioContext({ sampleRate: 44100, latencyHint: 'interactive' });
    return Page.context;
  },

  $pageString__deps: ['malloc'],
  $pageString: function (text) {
    var size = lengthBytesUTF8(text) + 1, p = _malloc(size);
    stringToUTF8(text, p, size);
    return p;
  },

  // Frames from..from+count of Web Audio's channel planes, interleaved into
  // the heap's floats from index at; missing channels repeat the last.
  $pageInterleave__deps: [],
  $pageInterleave: function (planes, from, count, channels, at) {
    var last = planes.length - 1;
    for (var i = from; i < from + count; i++) {
      for (var c = 0; c < channels; c++) HEAPF32[at++] = planes[Math.min(c, last)][i];
    }
  },

  // A file's bytes (from a URL, the file field or a drop): the header
  // report of its first 44, then the music decoded by the browser and handed
  // over in parts.
  $pageOpen__deps: ['$Page', '$pageContext', '$pageString', '$pageInterleave', '$pageIsModule',
                    '$pageModule', 'malloc', 'free'],
  $pageOpen: function (name, data) {
    if (Module.onsong) Module.onsong(name, data); // no video until it is decoded
    var size = data.byteLength, head = new Uint8Array(data, 0, Math.min(44, size));
    var p = _malloc(44), n = pageString(name);
    HEAPU8.set(head, p);
    _page_file(n, p, size);
    _free(p);
    _free(n);
    if (size === 0) return Promise.resolve();
    if (pageIsModule(name)) return pageModule(name, data);
    return pageContext().decodeAudioData(data).then(function (music) {
      Page.buffer = music;
      var frames = music.length, channels = music.numberOfChannels, part = 65536;
      var planes = [];
      for (var c = 0; c < channels; c++) planes.push(music.getChannelData(c));
      var buffer = _malloc(part * channels * 4);
      _page_musicbegin(frames, channels);
      for (var at = 0; at < frames; at += part) {
        var count = Math.min(part, frames - at);
        pageInterleave(planes, at, count, channels, buffer >> 2);
        _page_musicpart(buffer, count);
      }
      _free(buffer);
      _page_musicend();
      if (Module.onmusic) Module.onmusic();
    }, function () {
      out("starlume: cannot decode '" + name + "': the browser plays no such file");
    });
  },

  // The browser plays no tracker module: those go to libopenmpt, known by
  // the extensions it reads, or by the prefix Amiga players give them.
  $pageIsModule: function (name) {
    var kinds = 'mptm mod s3m xm it 669 amf ams c67 dbm digi dmf dsm dsym dtm far fmt imf ice j2b ' +
                'm15 mdl med mms mt2 mtm mus nst okt plm psm pt36 ptm sfx sfx2 st26 stk stm stx ' +
                'stp symmod ult wow gdm mo3 oxm umx xpk ppm mmcmp';
    var base = name.split(/[?#]/)[0].split('/').pop().toLowerCase(), dot = base.lastIndexOf('.');
    var list = kinds.split(' ');
    return dot > 0 && (list.includes(base.slice(dot + 1)) || list.includes(base.slice(0, dot)));
  },

  // A module rendered whole by libopenmpt in a worker (tracker.js, loaded
  // with the library the first time a module is opened), then handed over
  // as decoded music is.
  $pageModule__deps: ['$Page', '$pageContext', 'malloc', 'free'],
  $pageModule: function (name, data) {
    var cannot = function (why) { out("starlume: cannot decode '" + name + "': " + why); };
    if (!Page.tracker) Page.tracker = new Worker('tracker.js', { type: 'module' });
    // Only the module opened last is played.
    var worker = Page.tracker, asked = ++Page.modules;
    return new Promise(function (resolve) {
      worker.onmessage = function (e) {
        if (e.data.asked !== asked) return;
        var pcm = e.data.pcm;
        if (!pcm || pcm.length === 0) {
          cannot('libopenmpt reads no module in it');
          return resolve();
        }
        var frames = pcm.length / 2, music = pageContext().createBuffer(2, frames, 44100);
        var left = music.getChannelData(0), right = music.getChannelData(1);
        for (var i = 0; i < frames; i++) {
          left[i] = pcm[2 * i] / 32768;
          right[i] = pcm[2 * i + 1] / 32768;
        }
        Page.buffer = music;
        var p = _malloc(pcm.byteLength);
        HEAP16.set(pcm, p >> 1);
        _page_musicbegin(frames, 2);
        _page_musicpart16(p, frames);
        _free(p);
        _page_musicend();
        if (Module.onmusic) Module.onmusic();
        resolve();
      };
      // A library that cannot load (offline before any module was opened)
      // leaves no worker to ask again.
      worker.onerror = function (e) {
        e.preventDefault();
        Page.tracker = null;
        worker.terminate();
        cannot('the module player did not load' + (e.message ? ' (' + e.message + ')' : ''));
        resolve();
      };
      worker.postMessage({ asked: asked, bytes: data }, [data]);
    });
  },

  $pageFetch__deps: ['$pageOpen'],
  $pageFetch: function (url) {
    return fetch(url).then(function (response) {
      if (!response.ok) throw new Error(response.status + ' ' + response.statusText);
      return response.arrayBuffer();
    }).then(function (data) {
      return pageOpen(url, data);
    }, function (e) {
      out("starlume: cannot load '" + url + "': " + e.message);
    });
  },

  $pageStop__deps: ['$Page'],
  $pageStop: function () {
    if (Page.source) {
      Page.source.onended = null;
      Page.source.stop();
      Page.source.disconnect();
      Page.source = null;
    }
    if (Page.node) {
      Page.node.port.onmessage = null;
      Page.node.disconnect();
      Page.node = null;
    }
    if (Page.stream) {
      Page.stream.getTracks().forEach(function (t) { t.stop(); });
      Page.stream = null;
    }
    Page.heard = -1;
  },

  $pageListen__deps: ['$Page', '$pageContext', '$pageString', '$pageInterleave', 'malloc', 'free'],
  $pageListen: function (ask) {
    var context = pageContext();
    // Echo cancellation, noise suppression and automatic gain would all
    // change what the stars dance to.
    var plain = { echoCancellation: false, noiseSuppression: false, autoGainControl: false };
    var devices = navigator.mediaDevices;
    if (!devices) {
      out('starlume: cannot listen: this page is not served from a secure origin');
      return;
    }
    var asked = ask === 'tab' ? devices.getDisplayMedia({ video: true, audio: plain })
                              : devices.getUserMedia({ audio: plain });
    asked.then(function (stream) {
      if (!stream.getAudioTracks().length) throw new Error('no sound was shared');
      return context.audioWorklet.addModule('capture.js').then(function () { return stream; });
    }).then(function (stream) {
      var track = stream.getAudioTracks()[0];
      var input = context.createMediaStreamSource(stream);
      var node = new AudioWorkletNode(context, 'capture', { numberOfInputs: 1, numberOfOutputs: 0 });
      var channels = Math.min(2, track.getSettings().channelCount || 2);
      var label = pageString(track.label || 'microphone');
      _page_listening(label, channels);
      _free(label);
      node.port.onmessage = function (e) {
        var planes = e.data, frames = planes[0].length, n = frames * channels;
        if (Page.chunkFloats < n) {
          if (Page.chunk) _free(Page.chunk);
          Page.chunk = _malloc(n * 4);
          Page.chunkFloats = n;
        }
        pageInterleave(planes, 0, frames, channels, Page.chunk >> 2);
        _page_chunk(Page.chunk, n);
      };
      input.connect(node);
      Page.stream = stream;
      Page.node = node;
      return context.resume();
    }).catch(function (e) {
      out('starlume: cannot listen: ' + (e.name ? e.name + ': ' : '') + e.message);
    });
  },

  $pageFullscreen: function () {
    if (document.fullscreenElement) {
      document.exitFullscreen();
    } else if (Module.canvas.requestFullscreen) {
      Module.canvas.requestFullscreen().catch(function () {});
    }
  },

  // What makevideo.js asks of the wasm stage: a video's frames drawn on
  // #videostars and laid with their cover and text, and the music's sound.
  $pageVideo__deps: ['$pageString', 'malloc', 'free'],
  $pageVideo: {
    size: 0,
    begin: function (width, height, fps, transparent) {
      pageVideo.size = width * height * 3 / 2;
      return _page_videobegin(width, height, fps, transparent ? 1 : 0);
    },
    // The layers under and over the stars: ImageData of the frame's size, or null.
    layers: function (under, over) {
      var copy = function (image) {
        if (!image) return 0;
        var p = _malloc(image.data.length);
        HEAPU8.set(image.data, p);
        return p;
      };
      var u = copy(under), o = copy(over);
      _page_videolayers(u, o);
      _free(u);
      _free(o);
    },
    // Frame k as I420, in the heap until the next.
    frame: function (k) {
      var p = _page_videoframe(k);
      return HEAPU8.subarray(p, p + pageVideo.size);
    },
    through: function (k) { return _page_videothrough(k); },
    band: function () { return _page_videoband(); },
    end: function () { _page_videoend(); },
    // Music frames from..to, interleaved stereo, copied out of the heap.
    sound: function (from, to) {
      var at = (_page_videomusic() >> 1) + 2 * from;
      return HEAP16.slice(at, at + 2 * (to - from));
    },
    showntext: function (text, most) {
      var p = pageString(text), shown = UTF8ToString(_page_showntext(p, most));
      _free(p);
      return shown;
    },
  },

  page_init__deps: ['$Page', '$pageOpen', '$pageFetch', '$pageListen', '$pageFullscreen', '$pageVideo'],
  page_init: function () {
    var canvas = Module.canvas;
    Module.video = pageVideo;
    var open = function (file) {
      if (!file) return;
      file.arrayBuffer().then(function (data) { return pageOpen(file.name, data); });
      canvas.focus();
    };
    var field = document.getElementById('file');
    field.addEventListener('change', function () { open(field.files[0]); field.value = ''; });
    document.getElementById('listen').addEventListener('click', function () { pageListen('microphone'); });
    document.getElementById('tab').addEventListener('click', function () { pageListen('tab'); });
    document.getElementById('fullscreen').addEventListener('click', pageFullscreen);
    document.addEventListener('dragover', function (e) { e.preventDefault(); });
    document.addEventListener('drop', function (e) {
      e.preventDefault();
      open(e.dataTransfer.files[0]);
    });
    var line = document.getElementById('line');
    line.addEventListener('keydown', function (e) {
      if (e.key !== 'Enter') return;
      var p = pageString(line.value);
      line.value = '';
      _page_line(p);
      _free(p);
    });
    // The installed page opens the audio files it is given from the desktop.
    if ('launchQueue' in window) {
      window.launchQueue.setConsumer(function (launch) {
        if (launch.files && launch.files.length) launch.files[0].getFile().then(open);
      });
    }
    // Kept for offline use; a page served from an insecure origin has no
    // service workers, and needs none said.
    if (navigator.serviceWorker) {
      navigator.serviceWorker.register('sw.js').catch(function (e) {
        out('starlume: this page will not open offline: ' + e.message);
      });
    }
    var params = new URLSearchParams(location.search);
    if (params.get('music') !== null) pageFetch(params.get('music'));
    if (params.has('listen')) pageListen('microphone');
    canvas.focus();
  },

  // The parameters that mirror the command line, as its words.
  page_args: function (words, size) {
    var params = new URLSearchParams(location.search), list = [];
    ['keys', 'stars', 'seed', 'latency'].forEach(function (name) {
      if (params.has(name)) list.push('--' + name, params.get(name));
    });
    var text = list.join('\0');
    stringToUTF8(text, words, size);
    return Math.min(lengthBytesUTF8(text), size - 1);
  },

  page_play__deps: ['$Page', '$pageContext'],
  page_play: function () {
    var context = pageContext();
    var source = context.createBufferSource();
    source.buffer = Page.buffer;
    source.connect(context.destination);
    Page.startAt = context.currentTime + 0.1;
    Page.heard = -1;
    source.start(Page.startAt);
    Page.source = source;
    context.resume();
  },

  page_stopsound__deps: ['$pageStop'],
  page_stopsound: function () { pageStop(); },

  page_pausesound__deps: ['$Page'],
  page_pausesound: function () { if (Page.context) Page.context.suspend(); },

  page_resumesound__deps: ['$Page'],
  page_resumesound: function () { if (Page.context) Page.context.resume(); },

  page_setlatency__deps: ['$Page'],
  page_setlatency: function (ms) { Page.latency = ms; },

  // Where in the music what is heard now is, ms; it stands still while the
  // context is suspended, and never runs back. The browser says when the
  // sound it plays reaches the speakers; a latency given overrides that.
  page_heardms__deps: ['$Page'],
  page_heardms: function () {
    var context = Page.context;
    if (!Page.source || !context || context.state !== 'running') return Page.heard;
    var t;
    if (Page.latency >= 0) {
      t = context.currentTime - Page.latency / 1000;
    } else {
      var stamp = context.getOutputTimestamp ? context.getOutputTimestamp() : null;
      t = stamp && stamp.contextTime > 0
        ? stamp.contextTime + (performance.now() - stamp.performanceTime) / 1000
        : context.currentTime - (context.baseLatency || 0) - (context.outputLatency || 0);
    }
    Page.heard = Math.max(Page.heard, (t - Page.startAt) * 1000);
    return Page.heard;
  },

  page_askline: function (prompt) {
    document.getElementById('prompt').textContent = UTF8ToString(prompt);
    document.getElementById('ask').hidden = false;
    document.getElementById('line').focus();
  },

  page_endline: function () {
    document.getElementById('ask').hidden = true;
    Module.canvas.focus();
  },

  page_fullscreen__deps: ['$pageFullscreen'],
  page_fullscreen: function () { pageFullscreen(); },

  // Whether the browser's WebGL is drawn in software, asked of a canvas of
  // its own (the page's takes its settings once, when it is made).
  page_softwaregl: function () {
    var gl = document.createElement('canvas').getContext('webgl');
    if (!gl) return 0;
    var info = gl.getExtension('WEBGL_debug_renderer_info');
    var name = String(gl.getParameter(info ? info.UNMASKED_RENDERER_WEBGL : gl.RENDERER));
    var lose = gl.getExtension('WEBGL_lose_context');
    if (lose) lose.loseContext();
    return /swiftshader|llvmpipe|softpipe|software/i.test(name) ? 1 : 0;
  },

  page_canvasleft: function () { return Module.canvas.getBoundingClientRect().left; },
  page_canvastop: function () { return Module.canvas.getBoundingClientRect().top; },

  page_stats: function (fps, passus, blockms, passes) {
    window.starlume = { fps: fps, passus: passus, blockms: blockms, passes: passes };
  },
});
