#include "ViewerNotices.h"

#include <algorithm>

int CViewerNotices::Subscribe(Listener listener) {
    m_listeners.push_back({m_nextId, std::move(listener)});
    return m_nextId++;
}

void CViewerNotices::Unsubscribe(int id) {
    std::erase_if(m_listeners, [id](const Entry& entry) { return entry.id == id; });
}

void CViewerNotices::Announce(unsigned changes) {
    if (changes == 0) return;
    if (m_depth > 0) {
        m_pending |= changes;
        return;
    }
    Deliver(changes);
}

void CViewerNotices::Deliver(unsigned changes) {
    // A listener may subscribe or unsubscribe others while it is told (a
    // panel made or closed): the ids told so far are kept, not positions.
    std::vector<int> ids;
    ids.reserve(m_listeners.size());
    for (const Entry& entry : m_listeners) ids.push_back(entry.id);
    for (const int id : ids) {
        const auto found =
            std::find_if(m_listeners.begin(), m_listeners.end(), [id](const Entry& entry) { return entry.id == id; });
        if (found == m_listeners.end()) continue;
        // A copy: the listener may take itself off while it runs.
        const Listener listener = found->listener;
        listener(changes);
    }
}

CViewerNotices::CBatch::CBatch(CViewerNotices& notices) : m_notices(notices) { ++m_notices.m_depth; }

CViewerNotices::CBatch::~CBatch() {
    if (--m_notices.m_depth > 0) return;
    const unsigned pending = m_notices.m_pending;
    m_notices.m_pending = 0;
    if (pending != 0) m_notices.Deliver(pending);
}
