#include "views/field_panels.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

#include "app/elided_label.h"
#include "app/modal.h"
#include "catalogue/recordset.h"
#include "views/error_text.h"

namespace views {

namespace {

const char* const kOperators[6] = {"=", "<", ">", "<>", ">=", "<="};

QString valueText(const dao::Value& v) { return QString::fromStdString(dao::displayText(v)); }

}  // namespace

FieldPanels::~FieldPanels() = default;  // the rows' widgets belong to their containers

void FieldPanels::attach(QWidget* recordPanel, QWidget* filterPanel, QComboBox* const sort[3],
                         QObject* focusWatcher) {
  panel_[0] = recordPanel;
  panel_[1] = filterPanel;
  for (int k = 0; k < 3; ++k) sort_[k] = sort[k];
  focusWatcher_ = focusWatcher;
}

void FieldPanels::load(int pageWidth) {
  dao::Recordset* rs = dta_.recordset();
  if (!rs) return;  // the grid view could not bind the object; it said why

  if (!rows_.empty()) {
    if (!rs->hasCurrent() && rs->RecordCount() == 0) {
      // No records: the boxes stay empty, ready for a first one.
      clearRecordBoxes();
      return;
    }
    try {
      for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
        dao::Value v = rs->value(i);
        if (!v.isNull()) rows_[i].txtField->setText(valueText(v));
      }
    } catch (const dao::Error& e) {
      app::modal().message(parent_, errorSpaced(e.number(), description(e)), QStringLiteral("Error"),
                           app::Buttons::Ok, app::Icon::None);
    }
    return;
  }

  const auto& fields = rs->Fields();
  if (fields.empty()) return;
  for (auto* c : sort_) {
    c->clear();
    c->setEditText(QString());
  }
  QString failure;
  for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
    FieldRow r;
    auto* label = new app::ElidedLabel(panel_[0]);
    auto* label2 = new app::ElidedLabel(panel_[1]);
    r.lblField = label;
    r.lblField2 = label2;
    r.lblField->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    r.lblField2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const bool memo = dao::typeName(fields[i].Type) == "dbMemo";
    r.txtField = new BoundBox(memo, panel_[0]);
    r.cboEval = new QComboBox(panel_[1]);
    r.txtField2 = new QLineEdit(panel_[1]);
    r.txtField->setObjectName(QStringLiteral("txtField_%1").arg(i));
    r.txtField2->setObjectName(QStringLiteral("txtField2_%1").arg(i));
    r.cboEval->setObjectName(QStringLiteral("cboEval_%1").arg(i));
    // Vertical placement: 200 for the first row, 350 below the row above
    // (in the record panel, below a memo's taller box).
    const int top = i == 0 ? app::rowTop(0) : rows_[i - 1].lbl2.top + app::kRowStep;
    const int recordTop =
        i == 0 ? app::rowTop(0)
               : rows_[i - 1].txt.top + std::max(app::kRowStep, rows_[i - 1].txt.height + app::kRowStep - 285);
    r.lbl = {50, recordTop, 1920, 195};
    r.txt = {2000, recordTop, pageWidth - 2000 - 300, memo ? kMemoHeight : 285};
    r.lbl2 = {50, top, 1920, 195};
    r.eval = {2040, top, 615, 315};
    r.txt2 = {2700, top, 2000, 285};
    for (const char* op : kOperators) r.cboEval->addItem(QString::fromLatin1(op));
    r.cboEval->setCurrentIndex(0);
    const QString name = QString::fromStdString(fields[i].Name);
    label->setCaption(name);
    label2->setCaption(name);
    r.dataField = name;
    for (auto* c : sort_) c->addItem(name);
    if (rs->hasCurrent()) {
      try {
        dao::Value v = rs->value(i);
        if (!v.isNull()) r.txtField->setText(valueText(v));
      } catch (const dao::Error& e) {
        if (failure.isEmpty()) failure = errorSpaced(e.number(), description(e));
      }
    }
    // Values that cannot be typed (OLE, binary, attachments, counters,
    // calculated columns) are shown, never written back.
    if (rs->Updatable() && !rs->fieldUpdatable(i)) r.txtField->setReadOnly(true);
    r.txtField->setAccessibleName(name);
    for (QWidget* w : {static_cast<QWidget*>(r.lblField), static_cast<QWidget*>(r.lblField2),
                       static_cast<QWidget*>(r.txtField2), static_cast<QWidget*>(r.cboEval)})
      w->setAccessibleName(name);
    if (focusWatcher_) {
      r.txtField->editor()->installEventFilter(focusWatcher_);
      r.txtField2->installEventFilter(focusWatcher_);
    }
    for (QWidget* w : {static_cast<QWidget*>(r.cboEval), static_cast<QWidget*>(r.lblField),
                       static_cast<QWidget*>(r.txtField), static_cast<QWidget*>(r.lblField2),
                       static_cast<QWidget*>(r.txtField2)})
      w->show();
    rows_.push_back(r);
  }
  for (auto* c : sort_) c->setCurrentIndex(-1);
  if (!failure.isEmpty())
    app::modal().message(parent_, failure, QStringLiteral("Error"), app::Buttons::Ok, app::Icon::None);
}

void FieldPanels::refresh() {
  if (rows_.empty()) return;
  dao::Recordset* rs = dta_.recordset();
  for (auto& r : rows_) {
    QString text;
    if (rs && rs->hasCurrent()) {
      int col = rs->fieldIndex(r.dataField.toStdString());
      if (col >= 0) {
        try {
          text = valueText(rs->value(col));
        } catch (const dao::Error&) {
        }
      }
    }
    r.txtField->setText(text);
  }
}

void FieldPanels::clearRecordBoxes() {
  for (auto& r : rows_) r.txtField->clear();
}

void FieldPanels::clear() {
  for (auto& r : rows_) {
    delete r.lblField;
    delete r.txtField;
    delete r.lblField2;
    delete r.txtField2;
    delete r.cboEval;
  }
  rows_.clear();
}

int FieldPanels::recordHeight() const {
  return rows_.empty() ? 0 : rows_.back().txt.top + std::max(300, rows_.back().txt.height + 15);
}
int FieldPanels::filterHeight() const { return rows_.empty() ? 0 : rows_.back().lbl2.top + 300; }

std::vector<FilterCondition> FieldPanels::conditions(int fieldCount) const {
  std::vector<FilterCondition> out;
  const int n = std::min(fieldCount, static_cast<int>(rows_.size()));
  for (int i = 0; i < n; ++i)
    out.push_back({rows_[i].dataField, rows_[i].cboEval->currentText(), rows_[i].txtField2->text()});
  return out;
}

void FieldPanels::sortFields(QString out[3]) const {
  for (int k = 0; k < 3; ++k) out[k] = sort_[k] ? sort_[k]->currentText() : QString();
}

}  // namespace views
