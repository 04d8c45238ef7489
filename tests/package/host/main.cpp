// A host program built only from the installed header and library.
#include <MaskSchedule.h>

#include <stdio.h>

class Host : public CKwMaskSchedule {
 public:
  void MaskSwitch(CKwMaskScheduleKwsSwitch&) override {}
};

int main() {
  Host host;
  if (!host.Create()) return 1;
  MASK_SCHEDULE rule;
  rule.stTime.wHour = 8;
  rule.bWeekDay[1] = 1;
  rule.bEnable[0] = rule.bMask[0] = 1;
  CKwMaskScheduleKws unit = {7, "Entrance"};
  rule.arKws.Add(unit);
  if (!host.Add(&rule) || !host.Add(&rule)) return 2;
  CKwMaskScheduleArray& rules = host.GetScheduleArray();
  if (rules.GetSize() != 2 || rules.GetAt(1).arKws.GetAt(0).nId != 7) return 3;
  if (!host.Delete(0) || host.Delete(5)) return 4;
  host.Destroy();
  if (rules.GetSize() != 0) return 5;
  printf("package host: ok\n");
  return 0;
}
