// Make video: the song's video rendered in the page and offered as a
// download, nothing sent anywhere. The wasm stage dances by the native
// video's clock, draws each frame's stars with WebGL and lays them over the
// cover and under the title (Module.video, from page.js); here the cover
// and the title are drawn once, and the frames encoded by mediabunny: H.264
// and AAC in MP4, or VP8 and Opus in WebM where the AAC encoder cannot
// load. mediabunny and its AAC encoder are loaded only when a video is
// made.
(function () {
  'use strict';
  var $ = function (id) { return document.getElementById(id); };
  var say = function (text) { Module.print(text); };
  var RATE = 44100;
  var song = null;    // the song last opened: its name and bytes
  var cover = null;   // the picture chosen, or null for the song's own
  var job = null;     // the video under way: { cancelled }
  var link = null;    // the last video's object URL
  var aac = null;     // whether the AAC encoder is there, once asked

  // Each frame gives the event loop a turn, with no timer: a hidden tab
  // throttles timers and stops animation frames, but not messages.
  var channel = new MessageChannel(), waiting = [];
  channel.port1.onmessage = function () { waiting.shift()(); };
  var breathe = function () {
    return new Promise(function (resolve) {
      waiting.push(resolve);
      channel.port2.postMessage(0);
    });
  };

  // A duration as the native progress line shows it: 0:07, 12:34, 1:02:03.
  function clocktext(seconds) {
    var s = Math.max(0, Math.round(seconds)), h = Math.floor(s / 3600), m = Math.floor(s / 60) % 60;
    var two = function (n) { return (n < 10 ? '0' : '') + n; };
    return h > 0 ? h + ':' + two(m) + ':' + two(s % 60) : m + ':' + two(s % 60);
  }

  // About 0.1 bit a pixel, which keeps the stars' thin outlines, and never
  // more than 10 Mb/s.
  var bitrate = function (w, h, fps) { return Math.min(10e6, Math.round(w * h * fps * 0.1)); };
  // The native video's colours: wasm hands over its frames so.
  var BT709 = { primaries: 'bt709', transfer: 'bt709', matrix: 'bt709', fullRange: false };

  // The picture scaled to cover the frame, cropped about its middle, blurred
  // and darkened as the native video's; drawn a blur's reach past the
  // frame's edges so that they do not darken.
  function background(picture, w, h) {
    var c = document.createElement('canvas'), g = c.getContext('2d');
    c.width = w;
    c.height = h;
    var sigma = Math.max(2, Math.floor(Math.min(w, h) / 40)), reach = 3 * sigma;
    var scale = Math.max((w + 2 * reach) / picture.width, (h + 2 * reach) / picture.height);
    var pw = picture.width * scale, ph = picture.height * scale;
    g.filter = 'blur(' + sigma + 'px) brightness(0.45)';
    g.drawImage(picture, (w - pw) / 2, (h - ph) / 2, pw, ph);
    return c;
  }

  // The title and the artist as the native video lays them: centred above
  // the stars' square where there is room (band rows), else in the bottom
  // left corner; white edged with black. Null when there is neither.
  function caption(title, artist, w, h, band) {
    var shown = function (text, size) {
      var margin = Math.floor(Math.min(w, h) / 30);
      var line = Module.video.showntext(text, Math.floor((w - 2 * margin) / (0.65 * size)));
      return line.trim() ? line : '';
    };
    var short = Math.min(w, h), margin = Math.floor(short / 30);
    var lines = [[title, Math.max(8, Math.floor(short / 18))], [artist, Math.max(6, Math.floor(short / 26))]]
      .map(function (l) { return [shown(l[0], l[1]), l[1]]; })
      .filter(function (l) { return l[0]; });
    if (!lines.length) return null;
    var tall = lines.reduce(function (n, l) { return n + Math.floor(l[1] * 5 / 4); }, 0);
    var above = band >= tall + 2 * margin;
    var y = above ? Math.floor((band - tall) / 2) : h - margin - tall;
    var c = document.createElement('canvas'), g = c.getContext('2d');
    c.width = w;
    c.height = h;
    g.textBaseline = 'top';
    g.lineJoin = 'round';
    g.fillStyle = 'white';
    g.strokeStyle = 'rgba(0, 0, 0, 0.6)';
    lines.forEach(function (l) {
      var text = l[0], size = l[1];
      g.font = size + 'px "DejaVu Sans", sans-serif';
      g.lineWidth = 2 * Math.max(1, Math.floor(size / 16));
      var x = above ? (w - g.measureText(text).width) / 2 : margin;
      g.strokeText(text, x, y);
      g.fillText(text, x, y);
      y += Math.floor(size * 5 / 4);
    });
    return c;
  }

  // The song's title, artist and picture, where mediabunny reads its tags
  // (MP4, MP3, FLAC, Ogg, WAV...; a module's are not read).
  function tags(mb) {
    var input = new mb.Input({ source: new mb.BlobSource(song.blob), formats: mb.ALL_FORMATS });
    return input.getMetadataTags().catch(function () { return {}; }).then(function (t) {
      var images = t.images || [];
      var front = images.filter(function (i) { return i.kind === 'coverFront'; })[0] || images[0];
      if (!front) return { title: t.title, artist: t.artist, picture: null };
      return createImageBitmap(new Blob([front.data], { type: front.mimeType })).then(function (p) {
        return { title: t.title, artist: t.artist, picture: p };
      }, function () {
        say("starlume: the picture in '" + song.name + "' is not one this browser reads; the video has none");
        return { title: t.title, artist: t.artist, picture: null };
      });
    });
  }

  // The AAC encoder, asked for once: the browser's own, else FFmpeg's.
  function aacencoder(mb) {
    if (aac !== null) return Promise.resolve(aac);
    return mb.canEncodeAudio('aac').then(function (own) {
      if (own) return true;
      return import('./mediabunny-aac-encoder.js').then(function (m) {
        m.registerAacEncoder();
        return true;
      });
    }).then(function (ok) {
      aac = ok;
      return ok;
    });
  }

  // Stereo 16-bit frames starting at frame from, to the encoder.
  function addsound(mb, sound, data, from) {
    var sample = new mb.AudioSample({
      data: data, format: 's16', numberOfChannels: 2, sampleRate: RATE, timestamp: from / RATE,
    });
    return sound.add(sample).finally(function () { sample.close(); });
  }

  function offerwebm(why) {
    say('starlume: ' + why + '; "Make WebM (Opus)" makes the video as VP8 and Opus in WebM');
    $('webm').hidden = false;
  }

  function progress(done, total, started) {
    var wall = (performance.now() - started) / 1000;
    $('videodone').value = done / total;
    $('videoleft').textContent = Math.floor(100 * done / total) + '%' +
      (done > 0 ? ', ' + clocktext(wall * (total - done) / done) + ' left' : '');
  }

  function offer(data, name, type) {
    if (link) URL.revokeObjectURL(link);
    link = URL.createObjectURL(new Blob([data], { type: type }));
    var a = $('videolink');
    a.href = link;
    a.download = name;
    a.textContent = 'Download ' + name;
    a.hidden = false;
    a.click();
  }

  // Renders the song's video, MP4 unless webm.
  async function make(webm) {
    if (job || !song) return;
    var mine = job = { cancelled: false }, output = null, begun = false;
    var size = $('videosize').value.split('x').map(Number), w = size[0], h = size[1];
    var fps = Number($('videofps').value);
    $('makevideo').disabled = $('webm').disabled = true;
    $('videolink').hidden = true;
    try {
      var mb;
      try {
        mb = await import('mediabunny');
      } catch (e) {
        say('starlume: cannot make a video: its encoder did not load (' + e.message + ')');
        return;
      }
      var codec = webm ? 'vp8' : 'avc', voice = webm ? 'opus' : 'aac';
      if (!webm) {
        var loaded = await aacencoder(mb).catch(function (e) {
          offerwebm('the AAC encoder did not load (' + e.message + ')');
          return false;
        });
        if (!loaded) return;
      }
      var rate = bitrate(w, h, fps);
      if (!(await mb.canEncodeVideo(codec, { width: w, height: h, bitrate: rate }))) {
        if (webm) say('starlume: cannot make a video: this browser encodes no VP8 at ' + w + 'x' + h);
        else offerwebm('this browser encodes no H.264 at ' + w + 'x' + h);
        return;
      }
      var found = await tags(mb);
      if (mine.cancelled) return;
      var picture = cover || found.picture;
      var frames = Module.video.begin(w, h, fps, picture !== null);
      begun = frames > 0;
      if (!begun) {
        say('starlume: cannot make a video: this browser draws no WebGL for it');
        return;
      }
      // The cover and the text are laid in wasm, from their pixels: with a
      // software-drawn browser, a frame laid on a canvas and read from it
      // costs more than the stars.
      var pixels = function (c) { return c ? c.getContext('2d').getImageData(0, 0, w, h) : null; };
      Module.video.layers(pixels(picture ? background(picture, w, h) : null),
                          pixels(caption($('title').value || found.title || '', $('artist').value || found.artist || '',
                                         w, h, Module.video.band())));
      output = new mb.Output({
        format: webm ? new mb.WebMOutputFormat() : new mb.Mp4OutputFormat({ fastStart: 'in-memory' }),
        target: new mb.BufferTarget(),
      });
      var video = new mb.VideoSampleSource({ codec: codec, bitrate: rate });
      var sound = new mb.AudioSampleSource({ codec: voice, bitrate: 192000 });
      output.addVideoTrack(video, { frameRate: fps });
      output.addAudioTrack(sound);
      await output.start();
      $('rendering').hidden = false;
      var started = performance.now(), shown = 0, sent = 0;
      // Milliseconds in each stage of the frames, for tests/web/videobench.mjs.
      var spent = { dance: 0, encode: 0, wait: 0, turn: 0 }, t = started, now;
      var lap = function (stage) {
        now = performance.now();
        spent[stage] += now - t;
        t = now;
      };
      window.starlumevideo = spent;
      for (var k = 0; k < frames && !mine.cancelled; k++) {
        // Copied out of the heap at once; the encoder keeps up to four
        // frames in hand while the next are drawn.
        var sample = new mb.VideoSample(new VideoFrame(Module.video.frame(k), {
          format: 'I420', codedWidth: w, codedHeight: h, timestamp: Math.round(k * 1e6 / fps), colorSpace: BT709,
        }), { timestamp: k / fps, duration: 1 / fps });
        lap('dance');
        // The sound a second at a time, ahead of the frames it goes with:
        // the AAC encoder is a worker, and each message to it costs.
        var through = Module.video.through(k);
        var waits = [video.add(sample).finally(sample.close.bind(sample))];
        if (through > sent) {
          var upto = Math.min(sent + RATE, Module.video.through(frames - 1));
          waits.push(addsound(mb, sound, Module.video.sound(sent, upto), sent));
          sent = upto;
        }
        lap('encode');
        await Promise.all(waits);
        lap('wait');
        if (performance.now() - shown > 100) {
          shown = performance.now();
          progress(k + 1, frames, started);
        }
        await breathe();
        lap('turn');
      }
      if (mine.cancelled) {
        say('starlume: the video was cancelled at frame ' + k + ' of ' + frames + '; nothing was kept');
        await output.cancel();
        return;
      }
      await output.finalize();
      var wall = (performance.now() - started) / 1000, seconds = frames / fps;
      var bytes = output.target.buffer.byteLength;
      var name = song.name.split(/[?#]/)[0].split('/').pop().replace(/\.[^.]*$/, '') + '.' +
                 output.format.fileExtension.replace(/^\./, '');
      say("starlume: made '" + name + "': " + frames + ' frames, ' +
          (bytes < 1e6 ? Math.round(bytes / 1e3) + ' kB' : (bytes / 1e6).toFixed(1) + ' MB') + ', ' +
          seconds.toFixed(2) + ' s of video in ' + wall.toFixed(2) + ' s, ' +
          (seconds / wall).toFixed(2) + 'x real time, ' + (8 * bytes / seconds / 1e6).toFixed(2) + ' Mb/s');
      offer(output.target.buffer, name, output.format.mimeType);
    } catch (e) {
      say('starlume: cannot make the video: ' + (e && e.message ? e.message : e));
      if (output && output.state !== 'canceled' && output.state !== 'finalized') {
        output.cancel().catch(function () {});
      }
    } finally {
      if (begun) Module.video.end();
      job = null;
      $('rendering').hidden = true;
      $('makevideo').disabled = song === null || !song.ready;
      $('webm').disabled = $('makevideo').disabled;
    }
  }

  // A new song stops a video of the last one; none is offered until its
  // music is decoded, and none at all when the browser cannot decode it.
  Module.onsong = function (name, data) {
    if (job) job.cancelled = true;
    song = { name: name, blob: new Blob([data]), ready: false };
    $('makevideo').disabled = $('webm').disabled = true;
  };
  Module.onmusic = function () {
    if (!song) return;
    song.ready = true;
    $('makevideo').disabled = $('webm').disabled = job !== null;
  };

  document.addEventListener('visibilitychange', function () {
    if (job && document.hidden) say('starlume: the video goes on rendering while this tab is hidden');
  });

  window.addEventListener('DOMContentLoaded', function () {
    $('makevideo').addEventListener('click', function () { make(false); });
    $('webm').addEventListener('click', function () { make(true); });
    $('videocancel').addEventListener('click', function () { if (job) job.cancelled = true; });
    var field = $('cover');
    field.addEventListener('change', function () {
      var file = field.files[0];
      field.value = '';
      if (!file) return;
      var named = "the cover '" + file.name + "'";
      var refuse = function (why) {
        cover = null;
        $('covername').textContent = 'Cover picture';
        say('starlume: ' + named + ' ' + why + '; the video has the song\'s own picture, if any');
      };
      if (file.size === 0) return refuse('is empty');
      createImageBitmap(file).then(function (picture) {
        cover = picture;
        $('covername').textContent = 'Cover: ' + file.name;
      }, function () { refuse('is not a picture this browser reads'); });
    });
  });
})();
