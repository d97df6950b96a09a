#pragma once

#include <QObject>

#include <memory>

#include "ViewerNotices.h"

// A widget's subscription to the viewer's notices, as a child object of the
// widget: it ends when the widget goes, so the viewer never tells a widget
// that is gone, and a viewer gone first is not asked. The widget's handler is called at once, in the notice.
class CNoticeListener : public QObject {
public:
    CNoticeListener(CViewerNotices& notices, QObject* owner, CViewerNotices::Listener handler);
    ~CNoticeListener() override;
    CNoticeListener(const CNoticeListener&) = delete;
    CNoticeListener& operator=(const CNoticeListener&) = delete;

private:
    CViewerNotices& m_notices;
    std::weak_ptr<const int> m_lifetime;
    int m_id;
};
