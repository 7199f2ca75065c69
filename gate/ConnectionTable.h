// The connections as the plug-in holds them, and what is decided on them:
// whether a new caller is let in, refused, or made to wait for a worker on
// its way out; whose end a hang-up is; whether the users' files may be
// cleared. Plain values in, plain answers out: the table calls nothing of
// Windows. Its caller holds one lock around every call and does the threads,
// the files and the log lines (Connection.cpp).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// RAS_CONNECTION_0.hConnection, as a plain value.
using ConnectionHandle = void*;

// One caller's worker as far as the table decides on it; the plug-in's
// worker (WorkerContext) is one.
struct TimedConnection {
    ConnectionHandle connection = nullptr;
    // Set by the table when a second caller was refused: the worker asks the
    // service at its next cycle whether its own connection still exists.
    std::atomic<bool> askService{false};
    // Set by the worker, in its last gated write, when it ended the
    // connection itself because the service no longer knew it: a hang-up
    // that still comes is then no longer this connection's end.
    std::atomic<bool> foundGone{false};

    // The table's own, changed only under its caller's lock.
    bool started = false;          // its thread is started: the caller is accepted
    bool acceptedWritten = false;  // the acceptance's lines are written
    bool hangupCame = false;       // its connection's hang-up took it
    bool hangupWritten = false;    // ... and has written its lines
};

// What only a worker's thread can tell, asked at the moment of a decision.
struct WorkerFacts {
    bool threadRunning = false;  // started and not ended yet
    bool takesNoStep = false;    // stopped by its hang-up, or done: its thread only goes
};

class ConnectionTable {
public:
    using Worker = std::shared_ptr<TimedConnection>;
    using FactsOf = WorkerFacts (*)(const TimedConnection&);
    explicit ConnectionTable(FactsOf facts) : facts_(facts) {}

    // A caller's acceptance, from the callback's start to its return: until
    // it is decided, a hang-up of its connection takes `w` and refuses it.
    void AcceptanceBegins(const Worker& w);
    void AcceptanceEnds(const Worker& w);

    enum class Verdict { Admitted, RefusedRunning, RefusedHungUp, WaitForLeaving };
    struct Admission {
        Verdict verdict = Verdict::Admitted;
        // WaitForLeaving: a worker that takes no further step, whose thread
        // ends at once; and whether its hang-up's lines are still to come.
        Worker leaving;
        bool waitForLines = false;
    };
    // Decides on the caller of `w` after `waits` waits for a leaving worker.
    // Admitted, `w` is the current worker, to be started.
    Admission Admit(const Worker& w, int waits);
    // The admitted `w`'s thread is started; false when its hang-up came
    // meanwhile, and the acceptance is refused. Only now is the caller
    // accepted; the acceptance then writes its lines.
    bool Started(const Worker& w);
    void AcceptedWritten(const Worker& w) { w->acceptedWritten = true; }
    // The admitted `w`'s thread could not be started: it is taken out again.
    void NotStarted(const Worker& w);

    enum class Whose {
        Timed,     // the current worker's connection: it ends that worker
        Owed,      // a connection timed to its end before the next caller came
        Overtook,  // one whose acceptance is under way, not decided: it is refused,
                   // also when the caller was admitted but not started yet
        Nobody,    // a duplicate, a refused caller's, or one never offered
    };
    struct Hangup {
        Whose whose = Whose::Nobody;
        Worker worker;  // Timed, Overtook: the worker it ends
        bool workerStarted = false;
        uint64_t acceptsBefore = 0;
    };
    // The hang-up of `id` (`known` false: the service gave no connection).
    // Throws when out of memory, with nothing changed.
    Hangup TakeHangup(ConnectionHandle id, bool known);
    // Whether the users' files are still the ones of the connection that
    // hung up: no caller was accepted since, and no worker times one.
    bool MayClearUserFiles(const Hangup& h) const;
    // Whether its lines are marked as ending no connection timed here.
    bool Marked(const Hangup& h) const;
    // Whether its lines must wait for the acceptance's, still to be written.
    static bool AcceptedLinesPending(const Hangup& h) {
        return h.whose == Whose::Timed && !h.worker->acceptedWritten;
    }
    void HangupWritten(const Hangup& h);

    // The worker that times `id` now, if any.
    Worker Timing(ConnectionHandle id) const;

private:
    // A few connection handles, with no allocation: the callbacks must not
    // fail for want of memory where the state is kept.
    template <size_t N>
    class Ring {
    public:
        void Add(ConnectionHandle id);
        bool Has(ConnectionHandle id) const;
        bool Take(ConnectionHandle id);

    private:
        ConnectionHandle ids_[N] = {};
        size_t next_ = 0;
    };

    void Decided(const Worker& w);
    bool Running(const TimedConnection& w) const { return !w.started || facts_(w).threadRunning; }
    static bool HangupPending(const TimedConnection& w) { return w.hangupCame && !w.hangupWritten; }

    FactsOf facts_;
    // The worker of the connection accepted last and not yet hung up (the
    // design's WorkerThread).
    Worker current_;
    // Workers whose hang-up came but whose threads have not ended, or whose
    // hang-up's lines are still to come.
    std::vector<Worker> hungUp_;
    uint64_t accepts_ = 0;
    // The workers of acceptances under way and not decided yet; a few, in
    // fixed room (a hang-up beyond them finds no acceptance to refuse).
    Worker accepting_[8];
    // Connections timed to their end and followed by another caller before
    // their own hang-up came, which is still theirs.
    Ring<8> owed_;
};
