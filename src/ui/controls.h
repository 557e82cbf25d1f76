// The controls of the main window as plain state. Adapters render them; subsystems write them.
#pragma once

#include <string>
#include <vector>

namespace quillmend {

struct LabelControl {
  std::string caption;
  bool visible = true;
};

struct ButtonControl {
  std::string caption;
  bool visible = true;
  bool enabled = true;
};

struct ProgressBarControl {
  float min = 0;
  float max = 100;
  float value = 0;

  // Checked setters with the bar's rules: the minimum stays below the maximum and the value
  // between them. An invalid setting is refused (false) and changes nothing.
  bool SetMin(float new_min) {
    if (!(new_min < max)) return false;
    min = new_min;
    if (value < min) value = min;
    return true;
  }
  bool SetMax(float new_max) {
    if (!(new_max > min)) return false;
    max = new_max;
    if (value > max) value = max;
    return true;
  }
  bool SetValue(float new_value) {
    if (!(new_value >= min && new_value <= max)) return false;
    value = new_value;
    return true;
  }
};

struct ListBoxControl {
  std::vector<std::string> items;
  std::vector<bool> selected;  // same length as items

  void Clear() {
    items.clear();
    selected.clear();
  }
  void AddItem(std::string text) {
    items.push_back(std::move(text));
    selected.push_back(false);
  }
  int ListCount() const { return static_cast<int>(items.size()); }
};

struct ListViewItem {
  std::string text;
  std::string sub_item1;
  bool checked = false;
};

struct ListViewControl {
  std::vector<std::string> columns;
  std::vector<ListViewItem> items;
};

struct TimerControl {
  int interval_ms = 0;
  bool enabled = false;
};

}  // namespace quillmend
