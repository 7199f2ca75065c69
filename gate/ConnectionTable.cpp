#include "ConnectionTable.h"

#include <algorithm>

template <size_t N>
void ConnectionTable::Ring<N>::Add(ConnectionHandle id) {
    if (Has(id)) return;
    ids_[next_] = id;
    next_ = (next_ + 1) % N;
}

template <size_t N>
bool ConnectionTable::Ring<N>::Has(ConnectionHandle id) const {
    return std::find(ids_, ids_ + N, id) != ids_ + N;
}

template <size_t N>
bool ConnectionTable::Ring<N>::Take(ConnectionHandle id) {
    ConnectionHandle* at = std::find(ids_, ids_ + N, id);
    if (at == ids_ + N) return false;
    *at = nullptr;
    return true;
}

void ConnectionTable::AcceptanceBegins(const Worker& w) {
    for (Worker& slot : accepting_) {
        if (!slot) {
            slot = w;
            return;
        }
    }
}

void ConnectionTable::AcceptanceEnds(const Worker& w) { Decided(w); }

void ConnectionTable::Decided(const Worker& w) {
    for (Worker& slot : accepting_)
        if (slot == w) slot.reset();
}

// A second worker never starts while an earlier one can still take a step:
// the current connection's, or one whose hang-up came while it was in a step
// it had to finish. A worker that takes no further step (stopped by its
// hang-up, or done with its disconnect) is waited for once, since its thread
// ends at once; its hang-up's lines, which come within that hang-up's own
// bound, are waited for once more when they alone are missing.
ConnectionTable::Admission ConnectionTable::Admit(const Worker& w, int waits) {
    Admission a;
    if (w->hangupCame) {
        Decided(w);
        a.verdict = Verdict::RefusedHungUp;
        return a;
    }
    hungUp_.erase(std::remove_if(hungUp_.begin(), hungUp_.end(),
                                 [&](const Worker& h) { return !Running(*h) && !HangupPending(*h); }),
                  hungUp_.end());
    if (current_ && Running(*current_) && !facts_(*current_).takesNoStep) {
        // Its hang-up may have been lost: the worker asks the service.
        current_->askService = true;
        a.verdict = Verdict::RefusedRunning;
    }
    auto inTheWay = [&](const Worker& earlier) {
        if (!earlier || a.verdict == Verdict::RefusedRunning) return;
        const bool running = Running(*earlier);
        if (!running && !HangupPending(*earlier)) return;
        if (running ? !earlier->started || !facts_(*earlier).takesNoStep || waits > 0 : waits > 1) {
            a.verdict = Verdict::RefusedRunning;
            return;
        }
        a.verdict = Verdict::WaitForLeaving;
        a.leaving = earlier;
        a.waitForLines = earlier->hangupCame;
    };
    inTheWay(current_);
    for (const Worker& earlier : hungUp_) inTheWay(earlier);
    if (a.verdict == Verdict::RefusedRunning) {
        a.leaving.reset();
        Decided(w);
    } else if (a.verdict == Verdict::Admitted) {
        Decided(w);
        ++accepts_;
        if (current_ && !current_->foundGone) owed_.Add(current_->connection);
        current_ = w;
    }
    return a;
}

bool ConnectionTable::Started(const Worker& w) {
    w->started = true;
    return !w->hangupCame;
}

void ConnectionTable::NotStarted(const Worker& w) {
    if (current_ == w) current_.reset();
    hungUp_.erase(std::remove(hungUp_.begin(), hungUp_.end(), w), hungUp_.end());
}

ConnectionTable::Hangup ConnectionTable::TakeHangup(ConnectionHandle id, bool known) {
    Hangup h;
    h.acceptsBefore = accepts_;
    if (!known) return h;
    // Only the hang-up of the connection the worker times ends it: a late
    // hang-up of an earlier connection must not end the next caller's.
    if (current_ && current_->connection == id) {
        // Listed first: a worker is never in neither place, even when the
        // list cannot grow.
        hungUp_.push_back(current_);
        h.worker = std::move(current_);
        current_.reset();
        // Admitted, but its acceptance has not decided yet: it is refused,
        // so that the log does not show a connection the service refused.
        h.whose = h.worker->started ? Whose::Timed : Whose::Overtook;
    } else if (owed_.Take(id)) {
        h.whose = Whose::Owed;
        return h;
    } else {
        // Its acceptance is under way: it is refused. A hang-up whose
        // acceptance has come and gone, or never came, marks nothing: a later
        // caller given the same handle is another caller.
        for (Worker& slot : accepting_) {
            if (slot && slot->connection == id) {
                h.worker = std::move(slot);
                slot.reset();
                h.whose = Whose::Overtook;
                break;
            }
        }
        if (!h.worker) return h;
    }
    h.worker->hangupCame = true;
    h.workerStarted = h.worker->started;
    return h;
}

bool ConnectionTable::MayClearUserFiles(const Hangup& h) const {
    return accepts_ == h.acceptsBefore && !(current_ && Running(*current_));
}

// Marked unless it ends a connection timed here: a refused caller's, a
// duplicate, or one that comes after the worker found its connection gone
// (whose own lines ended it).
bool ConnectionTable::Marked(const Hangup& h) const {
    switch (h.whose) {
        case Whose::Timed: return h.worker->foundGone;
        case Whose::Owed: return false;
        default: return true;
    }
}

void ConnectionTable::HangupWritten(const Hangup& h) {
    if (h.worker) h.worker->hangupWritten = true;
}

ConnectionTable::Worker ConnectionTable::Timing(ConnectionHandle id) const {
    return current_ && current_->connection == id ? current_ : nullptr;
}
