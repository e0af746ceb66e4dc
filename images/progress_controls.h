// The two controls of a card page that show an update's progress: the byte reader sends the
// percent to them, and the page's dialog template (app/resources) creates them. Only #define
// lines: the resource compiler reads this too.
#pragma once

#define IDC_STATUS 1002   // static text: the percent while an update runs
#define IDC_PROGRESS 1009 // progress bar, range 0 to 100
