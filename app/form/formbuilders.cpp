#include "formbuilders.h"

namespace FormBuilders {

QWidget *page(const char *objectName)
{
    auto *page = new QWidget();
    page->setObjectName(QString::fromUtf8(objectName));
    return page;
}

QButtonGroup *buttonGroup(QWidget *window, const char *objectName)
{
    auto *group = new QButtonGroup(window);
    group->setObjectName(QString::fromUtf8(objectName));
    return group;
}

} // namespace FormBuilders
