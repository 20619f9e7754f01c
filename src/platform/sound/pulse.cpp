#include "platform/sound/pulse.h"

#include <cstdlib>
#include <vector>

#include <pulse/pulseaudio.h>
#include <unistd.h>

#include "core/clock/heard.h"

namespace starlume {

namespace {

// PulseAudio answers; so does PipeWire through its PulseAudio server.
struct Query {
    pa_context* context = nullptr;
    bool done = false;
    std::vector<Playstream> streams;
};

void oninput(pa_context*, const pa_sink_input_info* info, int eol, void* user) {
    auto* q = static_cast<Query*>(user);
    if (eol != 0) {
        q->done = true;
        return;
    }
    if (info == nullptr) return;
    const char* pid = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID);
    if (pid == nullptr) return;
    q->streams.push_back({std::atol(pid), info->buffer_usec, info->sink_usec});
}

void onstate(pa_context* c, void* user) {
    auto* q = static_cast<Query*>(user);
    switch (pa_context_get_state(c)) {
    case PA_CONTEXT_READY: {
        pa_operation* op = pa_context_get_sink_input_info_list(c, oninput, q);
        if (op != nullptr) {
            pa_operation_unref(op);
        } else {
            q->done = true;
        }
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED: q->done = true; break;
    default: break;
    }
}

} // namespace

std::optional<double> serverlatency() {
    pa_mainloop* loop = pa_mainloop_new();
    if (loop == nullptr) return std::nullopt;
    Query q;
    q.context = pa_context_new(pa_mainloop_get_api(loop), "Starlume latency");
    if (q.context != nullptr) {
        pa_context_set_state_callback(q.context, onstate, &q);
        // Never start a server just to ask it.
        if (pa_context_connect(q.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            const pa_usec_t deadline = pa_rtclock_now() + 500 * PA_USEC_PER_MSEC;
            while (!q.done) {
                const pa_usec_t now = pa_rtclock_now();
                if (now >= deadline ||
                    pa_mainloop_prepare(loop, static_cast<int>(deadline - now)) < 0 ||
                    pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0) {
                    break;
                }
            }
            pa_context_disconnect(q.context);
        }
        pa_context_unref(q.context);
    }
    pa_mainloop_free(loop);
    return ourlatency(q.streams, static_cast<long>(getpid()));
}

} // namespace starlume
