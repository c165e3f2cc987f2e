#include "app/PlaceholderPage.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

CPlaceholderPage::CPlaceholderPage(int pageKind, int dialogId, const QString& title)
    : CGPSPage(pageKind, dialogId, [title](QWidget* form) {
        auto* layout = new QVBoxLayout(form);
        auto* label = new QLabel(title, form);
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
      }) {}
