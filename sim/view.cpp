/* The live view's HTTP server (see view.h). */
#include "view.h"

#include "assets.h"
#include "scene.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace {

/* Worker threads with a bounded queue of accepted connections: when the queue is full the
 * accepting thread waits for room, and further connections wait in the kernel's backlog. */
class bounded_pool : public httplib::TaskQueue {
  public:
    bounded_pool(size_t threads, size_t capacity) : capacity_(capacity) {
        for (size_t i = 0; i < threads; i++)
            threads_.emplace_back([this] { work(); });
    }
    void enqueue(std::function<void()> fn) override {
        std::unique_lock<std::mutex> g(mutex_);
        /* A job owns its connection, so it is never dropped: at shutdown it is queued anyway
         * and the workers drain the queue before they end. */
        room_.wait(g, [this] { return jobs_.size() < capacity_ || stopping_; });
        jobs_.push_back(std::move(fn));
        g.unlock();
        ready_.notify_one();
    }
    void shutdown() override {
        {
            std::lock_guard<std::mutex> g(mutex_);
            stopping_ = true;
        }
        ready_.notify_all();
        room_.notify_all();
        for (std::thread &t : threads_)
            t.join();
        threads_.clear();
    }

  private:
    void work() {
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> g(mutex_);
                ready_.wait(g, [this] { return !jobs_.empty() || stopping_; });
                if (jobs_.empty())
                    return;
                fn = std::move(jobs_.front());
                jobs_.pop_front();
            }
            room_.notify_one();
            fn();
        }
    }
    size_t capacity_;
    std::vector<std::thread> threads_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable ready_, room_;
};

std::unique_ptr<httplib::Server> server;
std::thread listener;
std::atomic<bool> stopping(false);
std::atomic<int> streams(0);

/* True when the Host header names this machine's loopback address (or is missing, as only a
 * client that is no browser leaves it). */
bool local_host(const httplib::Request &req) {
    std::string host = req.get_header_value("Host");
    if (host.empty())
        return true;
    std::string name =
        host[0] == '[' ? host.substr(0, host.find(']') + 1) : host.substr(0, host.find(':'));
    return name == "127.0.0.1" || name == "localhost";
}

httplib::Server::HandlerResponse screen(const httplib::Request &req, httplib::Response &res) {
    if (req.method != "GET" && req.method != "HEAD") {
        res.status = 405;
        res.set_header("Allow", "GET, HEAD");
        res.set_content("only GET and HEAD are served\n", "text/plain");
        return httplib::Server::HandlerResponse::Handled;
    }
    if (!local_host(req)) {
        res.status = 403;
        res.set_content("the view answers only to 127.0.0.1 and localhost\n", "text/plain");
        return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
}

void serve_asset(const char *path, httplib::Response &res) {
    const ASSET_File *f = ASSET_Find(path);
    if (!f) {
        res.status = 404;
        return;
    }
    res.set_header("Content-Security-Policy",
                   "default-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' data:");
    res.set_content(f->data, f->size, f->type);
}

/* One event stream: a frame at most every VIEW_STREAM_MS when there is a newer one, a comment
 * line after a second without one (so a vanished client is noticed by the failed write). */
struct stream_state {
    unsigned long seq = 0;
    std::chrono::steady_clock::time_point next = std::chrono::steady_clock::now();
};

bool stream_step(stream_state *st, httplib::DataSink &sink) {
    std::this_thread::sleep_until(st->next);
    bool fresh = !stopping && SCENE_WaitNewer(st->seq, 1000);
    if (stopping) {
        sink.done();
        return true;
    }
    std::string text = ": idle\n\n";
    if (fresh) {
        SCENE_Frame f = SCENE_Latest();
        st->seq = f.seq;
        text = "data: " + SCENE_StateJson(f) + "\n\n";
    }
    st->next = std::chrono::steady_clock::now() + std::chrono::milliseconds(VIEW_STREAM_MS);
    return sink.write(text.data(), text.size());
}

void serve_events(httplib::Response &res) {
    if (streams.fetch_add(1) >= VIEW_MAX_STREAMS) {
        streams--;
        res.status = 503;
        res.set_content("too many event streams; poll /state instead\n", "text/plain");
        return;
    }
    auto st = std::make_shared<stream_state>();
    res.set_chunked_content_provider(
        "text/event-stream",
        [st](size_t, httplib::DataSink &sink) { return stream_step(st.get(), sink); },
        [](bool) { streams--; });
}

void route(httplib::Server *s) {
    s->set_pre_routing_handler(screen);
    s->Get("/", [](const httplib::Request &, httplib::Response &res) {
        serve_asset("/index.html", res);
    });
    s->Get("/view.js",
           [](const httplib::Request &, httplib::Response &res) { serve_asset("/view.js", res); });
    s->Get("/world", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(SCENE_WorldJson(), "application/json");
    });
    s->Get("/state", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(SCENE_StateJson(SCENE_Latest()), "application/json");
    });
    s->Get("/trail", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(SCENE_TrailsJson(SCENE_Trails()), "application/json");
    });
    s->Get("/events", [](const httplib::Request &, httplib::Response &res) { serve_events(res); });
}

void configure(httplib::Server *s) {
    s->new_task_queue = [] { return new bounded_pool(VIEW_THREADS, VIEW_QUEUE); };
    s->set_read_timeout(VIEW_IO_TIMEOUT_S, 0);
    s->set_write_timeout(VIEW_IO_TIMEOUT_S, 0);
    s->set_keep_alive_timeout(VIEW_KEEP_ALIVE_S);
    s->set_keep_alive_max_count(VIEW_KEEP_ALIVE_REQUESTS);
    s->set_payload_max_length(VIEW_MAX_BODY);
    s->set_tcp_nodelay(true); /* an answer's head and body go out at once, not 40 ms apart */
    s->set_default_headers({{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}});
    route(s);
}

/* Starts the accepting thread with SIGINT and SIGTERM blocked, so that they (and every worker
 * it starts) leave those signals to the simulation thread, whose wait they must interrupt. */
void start_listener(void) {
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    listener = std::thread([] { server->listen_after_bind(); });
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

} // namespace

int VIEW_Start(int port, int *bound, std::string *error) {
    server.reset(new httplib::Server);
    configure(server.get());
    if (port == 0)
        *bound = server->bind_to_any_port("127.0.0.1");
    else
        *bound = server->bind_to_port("127.0.0.1", port) ? port : -1;
    if (*bound <= 0) {
        *error = "cannot listen on 127.0.0.1 port " + std::to_string(port) + " for the view";
        server.reset();
        return -1;
    }
    start_listener();
    /* Until the server runs, a stop would not reach it; wait for it (briefly) so that a stop
     * right after the start still ends it. */
    for (int i = 0; i < 5000 && !server->is_running(); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!server->is_running()) {
        *error = "the view did not start";
        listener.join();
        server.reset();
        return -1;
    }
    return 0;
}

void VIEW_Stop(void) {
    if (!server)
        return;
    stopping = true;
    SCENE_Wake();
    server->stop();
    listener.join();
    server.reset();
}
