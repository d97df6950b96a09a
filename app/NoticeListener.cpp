#include "NoticeListener.h"

CNoticeListener::CNoticeListener(CViewerNotices& notices, QObject* owner, CViewerNotices::Listener handler)
    : QObject(owner),
      m_notices(notices),
      m_lifetime(notices.Lifetime()),
      m_id(notices.Subscribe(std::move(handler))) {}

CNoticeListener::~CNoticeListener() {
    if (!m_lifetime.expired()) m_notices.Unsubscribe(m_id);
}
