// Draws Tessaly's pictures: the wizard's step pictures, the small icons of the trees and
// lists, the check boxes, the picture buttons' icons and the program icon. Writes PNG
// files into the folder given (resources/pictures). Run by tools/make-artwork.
#include <wx/wx.h>
#include <wx/graphics.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>

namespace {

using Draw = std::function<void(wxGraphicsContext&)>;

wxString outFolder;

// An image of the size, transparent, drawn by draw, saved as name.
void paint(const wxString& name, int width, int height, const Draw& draw) {
  wxImage image(width, height, true);
  image.InitAlpha();
  std::fill(image.GetAlpha(), image.GetAlpha() + width * height, static_cast<unsigned char>(0));
  {
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(image));
    gc->SetAntialiasMode(wxANTIALIAS_DEFAULT);
    draw(*gc);
  }
  image.SaveFile(outFolder + "/" + name, wxBITMAP_TYPE_PNG);
}

wxColour rgb(int r, int g, int b, int a = 255) {
  return wxColour(static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                  static_cast<unsigned char>(b), static_cast<unsigned char>(a));
}

void fillRound(wxGraphicsContext& gc, double x, double y, double w, double h, double r,
               const wxColour& fill, const wxColour& line, double width = 1.0) {
  gc.SetBrush(wxBrush(fill));
  gc.SetPen(line.IsOk() ? wxPen(line, static_cast<int>(std::lround(width))) : *wxTRANSPARENT_PEN);
  gc.DrawRoundedRectangle(x, y, w, h, r);
}

void fillEllipse(wxGraphicsContext& gc, double x, double y, double w, double h,
                 const wxColour& fill, const wxColour& line = wxNullColour, double width = 1.0) {
  gc.SetBrush(wxBrush(fill));
  gc.SetPen(line.IsOk() ? wxPen(line, static_cast<int>(std::lround(width))) : *wxTRANSPARENT_PEN);
  gc.DrawEllipse(x, y, w, h);
}

void polygon(wxGraphicsContext& gc, std::initializer_list<wxPoint2DDouble> points,
             const wxColour& fill, const wxColour& line = wxNullColour, double width = 1.0) {
  wxGraphicsPath path = gc.CreatePath();
  bool first = true;
  for (const auto& p : points) {
    if (first)
      path.MoveToPoint(p);
    else
      path.AddLineToPoint(p);
    first = false;
  }
  path.CloseSubpath();
  gc.SetBrush(fill.IsOk() ? wxBrush(fill) : *wxTRANSPARENT_BRUSH);
  gc.SetPen(line.IsOk() ? wxPen(line, static_cast<int>(std::lround(width))) : *wxTRANSPARENT_PEN);
  gc.DrawPath(path);
}

void stroke(wxGraphicsContext& gc, std::initializer_list<wxPoint2DDouble> points,
            const wxColour& colour, double width) {
  wxGraphicsPath path = gc.CreatePath();
  bool first = true;
  for (const auto& p : points) {
    if (first)
      path.MoveToPoint(p);
    else
      path.AddLineToPoint(p);
    first = false;
  }
  wxGraphicsPenInfo pen(colour, width);
  pen.Cap(wxCAP_ROUND).Join(wxJOIN_ROUND);
  gc.SetPen(gc.CreatePen(pen));
  gc.StrokePath(path);
}

// ---------------------------------------------------------------- shapes, at any scale

// A closed folder in a box of size s at (x, y).
void folder(wxGraphicsContext& gc, double x, double y, double s, bool open = false) {
  const wxColour back = rgb(222, 170, 40), front = rgb(250, 204, 72), line = rgb(160, 112, 20);
  polygon(gc, {{x, y + s * 0.18}, {x + s * 0.38, y + s * 0.18}, {x + s * 0.46, y + s * 0.28},
               {x + s, y + s * 0.28}, {x + s, y + s * 0.86}, {x, y + s * 0.86}},
          back, line);
  if (open)
    polygon(gc, {{x + s * 0.14, y + s * 0.42}, {x + s * 1.0, y + s * 0.42}, {x + s * 0.86, y + s * 0.86},
                 {x, y + s * 0.86}},
            front, line);
  else
    polygon(gc, {{x, y + s * 0.36}, {x + s, y + s * 0.36}, {x + s, y + s * 0.86}, {x, y + s * 0.86}},
            front, line);
}

// A hard disk seen from the front.
void hardDisk(wxGraphicsContext& gc, double x, double y, double w, double h) {
  fillRound(gc, x, y, w, h, h * 0.18, rgb(120, 130, 145), rgb(70, 78, 90));
  fillRound(gc, x + w * 0.04, y + h * 0.08, w * 0.92, h * 0.5, h * 0.12, rgb(176, 186, 200), wxNullColour);
  fillEllipse(gc, x + w * 0.78, y + h * 0.66, h * 0.2, h * 0.2, rgb(110, 220, 110));
  for (int i = 0; i < 5; ++i)
    fillRound(gc, x + w * (0.08 + i * 0.1), y + h * 0.7, w * 0.06, h * 0.14, 1, rgb(80, 88, 100),
              wxNullColour);
}

// A computer: a monitor on a stand.
void computer(wxGraphicsContext& gc, double x, double y, double s) {
  fillRound(gc, x, y, s, s * 0.68, s * 0.06, rgb(70, 78, 90), wxNullColour);
  fillRound(gc, x + s * 0.07, y + s * 0.07, s * 0.86, s * 0.52, s * 0.03, rgb(110, 170, 230), wxNullColour);
  polygon(gc, {{x + s * 0.4, y + s * 0.68}, {x + s * 0.6, y + s * 0.68}, {x + s * 0.66, y + s * 0.86},
               {x + s * 0.34, y + s * 0.86}},
          rgb(90, 98, 110));
  fillRound(gc, x + s * 0.2, y + s * 0.84, s * 0.6, s * 0.1, s * 0.04, rgb(70, 78, 90), wxNullColour);
}

// A page, optionally crossed out.
void page(wxGraphicsContext& gc, double x, double y, double s, bool deleted = false) {
  polygon(gc, {{x + s * 0.16, y}, {x + s * 0.62, y}, {x + s * 0.86, y + s * 0.24},
               {x + s * 0.86, y + s}, {x + s * 0.16, y + s}},
          rgb(255, 255, 255), rgb(110, 120, 135));
  polygon(gc, {{x + s * 0.62, y}, {x + s * 0.62, y + s * 0.24}, {x + s * 0.86, y + s * 0.24}},
          rgb(210, 218, 230), rgb(110, 120, 135));
  for (int i = 0; i < 3; ++i)
    stroke(gc, {{x + s * 0.3, y + s * (0.46 + i * 0.16)}, {x + s * 0.72, y + s * (0.46 + i * 0.16)}},
           rgb(150, 160, 175), std::max(1.0, s / 16));
  if (deleted) {
    stroke(gc, {{x + s * 0.3, y + s * 0.4}, {x + s * 0.98, y + s * 0.98}}, rgb(210, 40, 40), s / 8);
    stroke(gc, {{x + s * 0.98, y + s * 0.4}, {x + s * 0.3, y + s * 0.98}}, rgb(210, 40, 40), s / 8);
  }
}

// A magnifying glass with its lens centred at (cx, cy).
void magnifier(wxGraphicsContext& gc, double cx, double cy, double r) {
  stroke(gc, {{cx + r * 0.7, cy + r * 0.7}, {cx + r * 1.7, cy + r * 1.7}}, rgb(90, 70, 50), r * 0.38);
  fillEllipse(gc, cx - r, cy - r, 2 * r, 2 * r, rgb(200, 230, 255, 170), rgb(60, 70, 85), r * 0.18);
}

void checkMark(wxGraphicsContext& gc, double x, double y, double s, const wxColour& colour) {
  stroke(gc, {{x, y + s * 0.55}, {x + s * 0.36, y + s * 0.9}, {x + s, y + s * 0.1}}, colour, s * 0.2);
}

// A disk split into partitions, as a pie.
void pie(wxGraphicsContext& gc, double cx, double cy, double r) {
  const wxColour colours[] = {rgb(70, 130, 200), rgb(90, 180, 110), rgb(240, 170, 60)};
  const double cuts[] = {0, 2.3, 4.4, 2 * M_PI};
  for (int i = 0; i < 3; ++i) {
    wxGraphicsPath path = gc.CreatePath();
    path.MoveToPoint(cx, cy);
    path.AddArc(cx, cy, r, cuts[i] - M_PI / 2, cuts[i + 1] - M_PI / 2, true);
    path.CloseSubpath();
    gc.SetBrush(wxBrush(colours[i]));
    gc.SetPen(wxPen(*wxWHITE, 3));
    gc.DrawPath(path);
  }
  fillEllipse(gc, cx - r * 0.18, cy - r * 0.18, r * 0.36, r * 0.36, *wxWHITE);
}

// ---------------------------------------------------------------- step pictures

constexpr int kStepW = 248, kStepH = 236;

void step(const wxString& name, const wxString& number, const wxString& title,
          const wxString& subtitle, const Draw& body) {
  paint(name, kStepW, kStepH, [&](wxGraphicsContext& gc) {
    gc.SetBrush(gc.CreateLinearGradientBrush(0, 0, 0, kStepH, rgb(232, 240, 250), rgb(196, 214, 238)));
    gc.SetPen(wxPen(rgb(150, 170, 200)));
    gc.DrawRoundedRectangle(0.5, 0.5, kStepW - 1, kStepH - 1, 10);
    // The step badge and the title.
    fillEllipse(gc, 12, 12, 34, 34, rgb(40, 90, 160), rgb(255, 255, 255), 2);
    gc.SetFont(wxFont(wxFontInfo(15).Bold().Family(wxFONTFAMILY_SWISS)), *wxWHITE);
    double tw, th;
    gc.GetTextExtent(number, &tw, &th);
    gc.DrawText(number, 29 - tw / 2, 29 - th / 2);
    gc.SetFont(wxFont(wxFontInfo(11).Bold().Family(wxFONTFAMILY_SWISS)), rgb(30, 50, 90));
    gc.DrawText(title, 54, 14);
    gc.SetFont(wxFont(wxFontInfo(8).Family(wxFONTFAMILY_SWISS)), rgb(70, 90, 120));
    gc.DrawText(subtitle, 54, 32);
    // The illustration's card.
    fillRound(gc, 14, 58, kStepW - 28, kStepH - 72, 12, rgb(255, 255, 255, 235), rgb(170, 190, 215));
    // The illustrations are drawn for a card 188 wide: centred in this one.
    gc.Translate((kStepW - 216) / 2.0, (kStepH - 232) / 2.0);
    body(gc);
  });
}

void stepPictures() {
  step("Step1.bmp", "1", "Choose a disk", "the disk that lost the files", [](wxGraphicsContext& gc) {
    computer(gc, 48, 72, 120);
    hardDisk(gc, 40, 172, 62, 30);
    hardDisk(gc, 114, 172, 62, 30);
  });
  step("Step2.bmp", "2", "Choose a mode", "Quick finds the folders fast", [](wxGraphicsContext& gc) {
    hardDisk(gc, 38, 96, 140, 66);
    fillEllipse(gc, 126, 150, 52, 52, rgb(60, 160, 80), *wxWHITE, 3);
    checkMark(gc, 137, 164, 30, *wxWHITE);
  });
  step("Step4.bmp", "3", "Choose a partition", "or a range of sectors", [](wxGraphicsContext& gc) {
    pie(gc, 108, 136, 58);
  });
  step("Step4_1.bmp", "3", "Raw recovery", "documents found by content", [](wxGraphicsContext& gc) {
    page(gc, 40, 84, 70);
    page(gc, 76, 104, 70);
    magnifier(gc, 150, 138, 26);
  });
  step("Step5_1.bmp", "4", "Start the search", "files are written as found", [](wxGraphicsContext& gc) {
    page(gc, 36, 84, 64);
    checkMark(gc, 52, 112, 30, rgb(60, 160, 80));
    stroke(gc, {{112, 128}, {146, 128}}, rgb(60, 160, 80), 8);
    polygon(gc, {{142, 114}, {164, 128}, {142, 142}}, rgb(60, 160, 80));
    folder(gc, 126, 150, 56, true);
  });
  step("Step5.bmp", "4", "Scanning", "every cluster is read once", [](wxGraphicsContext& gc) {
    for (int row = 0; row < 6; ++row)
      for (int col = 0; col < 8; ++col) {
        const bool found = (row * 8 + col) % 7 == 3;
        const bool read = row < 4;
        fillRound(gc, 34 + col * 19, 78 + row * 19, 15, 15, 3,
                  found ? rgb(250, 204, 72) : read ? rgb(120, 170, 225) : rgb(220, 228, 238),
                  wxNullColour);
      }
    magnifier(gc, 150, 170, 22);
  });
  step("Step6.bmp", "5", "File systems found", "choose the one to open", [](wxGraphicsContext& gc) {
    for (int i = 0; i < 3; ++i) {
      const double y = 150 - i * 34;
      polygon(gc, {{60, y}, {108, y - 22}, {156, y}, {108, y + 22}},
              i == 2 ? rgb(90, 180, 110) : rgb(120, 170, 225), rgb(255, 255, 255), 2);
    }
  });
  step("Step6_1.bmp", "5", "Your folders", "tick what you want to save", [](wxGraphicsContext& gc) {
    folder(gc, 36, 76, 40);
    stroke(gc, {{52, 112}, {52, 188}}, rgb(150, 160, 175), 2);
    for (int i = 0; i < 3; ++i) {
      const double y = 114 + i * 28;
      stroke(gc, {{52, y + 14}, {74, y + 14}}, rgb(150, 160, 175), 2);
      folder(gc, 76, y, 30, i == 1);
      fillRound(gc, 112, y + 8, 72, 10, 4, rgb(200, 210, 225), wxNullColour);
    }
  });
  step("Step7.bmp", "6", "Save your files", "to a folder on another drive", [](wxGraphicsContext& gc) {
    page(gc, 44, 80, 56);
    page(gc, 70, 92, 56);
    stroke(gc, {{108, 170}, {150, 170}}, rgb(60, 160, 80), 8);
    polygon(gc, {{146, 156}, {168, 170}, {146, 184}}, rgb(60, 160, 80));
    folder(gc, 120, 96, 64, true);
  });
}

// ---------------------------------------------------------------- small icons

void smallIcons() {
  paint("SmallIcons.png", 16 * 16, 16, [](wxGraphicsContext& gc) {
    auto at = [&](int index, const std::function<void()>& draw) {
      gc.PushState();
      gc.Translate(index * 16, 0);
      draw();
      gc.PopState();
    };
    at(0, [&] {  // a file system: stacked layers
      polygon(gc, {{1, 10}, {8, 6.5}, {15, 10}, {8, 13.5}}, rgb(120, 170, 225), rgb(50, 90, 150));
      polygon(gc, {{1, 6}, {8, 2.5}, {15, 6}, {8, 9.5}}, rgb(90, 180, 110), rgb(40, 110, 60));
    });
    at(1, [&] { hardDisk(gc, 1, 4, 14, 8); });
    at(2, [&] { computer(gc, 1, 1, 14); });
    at(3, [&] { folder(gc, 0.5, 0.5, 15); });
    at(7, [&] { folder(gc, 0.5, 0.5, 15, true); });
    at(10, [&] {
      fillEllipse(gc, 1, 1, 14, 14, rgb(52, 101, 164));
      fillRound(gc, 7, 7, 2, 6, 0.5, *wxWHITE, wxNullColour);
      fillEllipse(gc, 6.8, 3.3, 2.4, 2.4, *wxWHITE);
    });
    at(11, [&] { page(gc, 0.5, 0.5, 15); });
    at(12, [&] { page(gc, 0.5, 0.5, 15, true); });
  });
}

// The file list's icons: folder rows (1), information rows (10) and one per file type,
// at the indexes the type classification gives.
void fileIcons() {
  paint("FileIcons.png", 21 * 16, 16, [](wxGraphicsContext& gc) {
    auto at = [&](int index, const std::function<void()>& draw) {
      gc.PushState();
      gc.Translate(index * 16, 0);
      draw();
      gc.PopState();
    };
    // A page with a coloured band and a letter on it.
    auto badge = [&](const wxColour& colour, const wxString& letter) {
      page(gc, 0.5, 0.5, 15);
      fillRound(gc, 1, 6, 10, 9, 1.5, colour, wxNullColour);
      gc.SetFont(wxFont(wxFontInfo(6).Bold().Family(wxFONTFAMILY_SWISS)), *wxWHITE);
      double tw, th;
      gc.GetTextExtent(letter, &tw, &th);
      gc.DrawText(letter, 6 - tw / 2, 10.5 - th / 2);
    };
    at(1, [&] { folder(gc, 0.5, 0.5, 15); });
    at(2, [&] {  // an archive: a page with a zipper
      page(gc, 0.5, 0.5, 15);
      fillRound(gc, 6, 0.5, 4, 15, 0.5, rgb(180, 140, 60), wxNullColour);
      for (int i = 0; i < 6; ++i)
        fillRound(gc, i % 2 ? 6 : 8, 1.5 + i * 2.3, 2, 1.2, 0.3, rgb(90, 70, 30), wxNullColour);
    });
    at(3, [&] { badge(rgb(30, 130, 70), "X"); });
    at(4, [&] { badge(rgb(40, 90, 170), "W"); });
    at(5, [&] { badge(rgb(210, 90, 40), "P"); });
    at(7, [&] {  // a program: a small window
      fillRound(gc, 1.5, 2.5, 13, 11, 1.5, *wxWHITE, rgb(70, 78, 90));
      fillRound(gc, 2, 3, 12, 3, 1, rgb(52, 101, 164), wxNullColour);
      fillRound(gc, 4, 8, 3, 3, 0.5, rgb(90, 180, 110), wxNullColour);
      fillRound(gc, 9, 8, 3, 3, 0.5, rgb(240, 170, 60), wxNullColour);
    });
    at(8, [&] {  // a font: a serif letter
      gc.SetFont(wxFont(wxFontInfo(11).Bold().Family(wxFONTFAMILY_ROMAN)), rgb(60, 60, 70));
      double tw, th;
      gc.GetTextExtent("A", &tw, &th);
      gc.DrawText("A", 8 - tw / 2, 8 - th / 2);
    });
    at(9, [&] { badge(rgb(90, 60, 160), "C"); });
    at(10, [&] {
      fillEllipse(gc, 1, 1, 14, 14, rgb(52, 101, 164));
      fillRound(gc, 7, 7, 2, 6, 0.5, *wxWHITE, wxNullColour);
      fillEllipse(gc, 6.8, 3.3, 2.4, 2.4, *wxWHITE);
    });
    at(11, [&] { badge(rgb(120, 80, 170), "h"); });
    at(12, [&] {  // a web page: a globe
      fillEllipse(gc, 1.5, 1.5, 13, 13, rgb(90, 160, 220), rgb(40, 90, 150));
      gc.SetPen(wxPen(rgb(230, 240, 250), 1));
      gc.SetBrush(*wxTRANSPARENT_BRUSH);
      gc.DrawEllipse(5, 1.5, 6, 13);
      gc.StrokeLine(1.5, 8, 14.5, 8);
    });
    at(13, [&] {  // help: a question mark on a blue book
      fillRound(gc, 2, 1.5, 12, 13, 1.5, rgb(52, 101, 164), rgb(30, 60, 110));
      gc.SetFont(wxFont(wxFontInfo(8).Bold().Family(wxFONTFAMILY_SWISS)), *wxWHITE);
      double tw, th;
      gc.GetTextExtent("?", &tw, &th);
      gc.DrawText("?", 8 - tw / 2, 8 - th / 2);
    });
    at(15, [&] { badge(rgb(200, 40, 40), "A"); });
    at(16, [&] {  // the registry: stacked blocks
      fillRound(gc, 1.5, 8.5, 6, 6, 1, rgb(90, 180, 110), rgb(40, 110, 60));
      fillRound(gc, 8.5, 8.5, 6, 6, 1, rgb(120, 170, 225), rgb(50, 90, 150));
      fillRound(gc, 5, 1.5, 6, 6, 1, rgb(240, 170, 60), rgb(160, 110, 30));
    });
    at(17, [&] {  // sound: a note
      fillEllipse(gc, 2, 10, 5, 4, rgb(60, 60, 70));
      fillEllipse(gc, 9, 8.5, 5, 4, rgb(60, 60, 70));
      stroke(gc, {{6.5, 12}, {6.5, 3}, {13.5, 1.5}, {13.5, 10.5}}, rgb(60, 60, 70), 1.4);
    });
    at(18, [&] {  // video: a film strip
      fillRound(gc, 1, 2.5, 14, 11, 1, rgb(60, 60, 70), wxNullColour);
      fillRound(gc, 4, 4.5, 8, 7, 0.5, rgb(120, 170, 225), wxNullColour);
      for (int i = 0; i < 4; ++i) {
        fillRound(gc, 1.8, 3.2 + i * 2.6, 1.4, 1.4, 0.3, *wxWHITE, wxNullColour);
        fillRound(gc, 12.8, 3.2 + i * 2.6, 1.4, 1.4, 0.3, *wxWHITE, wxNullColour);
      }
    });
    at(19, [&] { page(gc, 0.5, 0.5, 15); });
    at(20, [&] {  // text: a page full of lines
      page(gc, 0.5, 0.5, 15);
      stroke(gc, {{4.5, 4.5}, {8.5, 4.5}}, rgb(150, 160, 175), 1);
    });
  });
}

void checkBoxes() {
  paint("CheckBoxes.png", 4 * 16, 16, [](wxGraphicsContext& gc) {
    for (int state = 1; state <= 3; ++state) {
      const double x = state * 16;
      fillRound(gc, x + 2.5, 2.5, 11, 11, 2, *wxWHITE, rgb(90, 100, 115));
      if (state == 2) checkMark(gc, x + 4.5, 4.5, 7, rgb(40, 90, 160));
      if (state == 3) fillRound(gc, x + 5, 5, 6, 6, 1, rgb(40, 90, 160), wxNullColour);
    }
  });
}

// ---------------------------------------------------------------- picture-button icons

void buttonIcons() {
  const int s = 24;
  paint("ButtonLoadLog.png", s, s, [](wxGraphicsContext& gc) {
    folder(gc, 1, 4, 22, true);
    stroke(gc, {{12, 18}, {12, 6}}, rgb(40, 90, 160), 3);
    polygon(gc, {{6, 9}, {12, 2}, {18, 9}}, rgb(40, 90, 160));
  });
  paint("ButtonSaveLog.png", s, s, [](wxGraphicsContext& gc) {
    fillRound(gc, 2.5, 2.5, 19, 19, 2, rgb(52, 101, 164), rgb(30, 60, 110));
    fillRound(gc, 6, 3, 12, 7, 1, rgb(230, 236, 245), wxNullColour);
    fillRound(gc, 5, 13, 14, 8, 1, *wxWHITE, wxNullColour);
    fillRound(gc, 14, 4, 3, 5, 0.5, rgb(52, 101, 164), wxNullColour);
  });
  paint("ButtonUnselectAll.png", s, s, [](wxGraphicsContext& gc) {
    for (int i = 0; i < 3; ++i) {
      fillRound(gc, 2.5, 2.5 + i * 7, 6, 6, 1, *wxWHITE, rgb(90, 100, 115));
      fillRound(gc, 11, 4 + i * 7, 11, 3, 1, rgb(170, 180, 195), wxNullColour);
    }
  });
  paint("ButtonSelectAll.png", s, s, [](wxGraphicsContext& gc) {
    for (int i = 0; i < 3; ++i) {
      fillRound(gc, 2.5, 2.5 + i * 7, 6, 6, 1, *wxWHITE, rgb(90, 100, 115));
      checkMark(gc, 3.5, 3.5 + i * 7, 5, rgb(40, 140, 60));
      fillRound(gc, 11, 4 + i * 7, 11, 3, 1, rgb(170, 180, 195), wxNullColour);
    }
  });
  paint("ButtonSaveData.png", s, s, [](wxGraphicsContext& gc) {
    polygon(gc, {{2, 14}, {22, 14}, {22, 22}, {2, 22}}, rgb(120, 130, 145), rgb(70, 78, 90));
    stroke(gc, {{12, 2}, {12, 13}}, rgb(60, 160, 80), 4);
    polygon(gc, {{5, 10}, {12, 17}, {19, 10}}, rgb(60, 160, 80));
  });
  paint("ButtonHelp.png", s, s, [](wxGraphicsContext& gc) {
    fillEllipse(gc, 1.5, 1.5, 21, 21, rgb(52, 101, 164), rgb(30, 60, 110));
    gc.SetFont(wxFont(wxFontInfo(11).Bold().Family(wxFONTFAMILY_SWISS)), *wxWHITE);
    double tw, th;
    gc.GetTextExtent("?", &tw, &th);
    gc.DrawText("?", 12 - tw / 2, 12 - th / 2);
  });
  paint("ButtonExit.png", s, s, [](wxGraphicsContext& gc) {
    fillEllipse(gc, 1.5, 1.5, 21, 21, rgb(200, 50, 50), rgb(130, 30, 30));
    wxGraphicsPath arc = gc.CreatePath();
    arc.AddArc(12, 13, 6.5, -M_PI / 2 + 0.7, -M_PI / 2 - 0.7 + 2 * M_PI, true);
    gc.SetPen(gc.CreatePen(wxGraphicsPenInfo(*wxWHITE, 2.2).Cap(wxCAP_ROUND)));
    gc.StrokePath(arc);
    stroke(gc, {{12, 5}, {12, 12}}, *wxWHITE, 2.2);
  });
}

// ---------------------------------------------------------------- the program icon

void programIcon(int size) {
  paint(wxString::Format("Tessaly%d.png", size), size, size, [size](wxGraphicsContext& gc) {
    const double s = size;
    gc.SetBrush(gc.CreateLinearGradientBrush(0, 0, 0, s, rgb(70, 130, 200), rgb(30, 70, 140)));
    gc.SetPen(*wxTRANSPARENT_PEN);
    gc.DrawRoundedRectangle(0, 0, s, s, s * 0.2);
    // A platter with its hub, and a green arrow bringing a file back.
    fillEllipse(gc, s * 0.14, s * 0.14, s * 0.62, s * 0.62, rgb(220, 228, 240), rgb(255, 255, 255),
                std::max(1.0, s / 24));
    fillEllipse(gc, s * 0.38, s * 0.38, s * 0.14, s * 0.14, rgb(70, 130, 200));
    stroke(gc, {{s * 0.58, s * 0.84}, {s * 0.84, s * 0.58}}, rgb(90, 200, 110), std::max(1.5, s * 0.12));
    polygon(gc, {{s * 0.62, s * 0.5}, {s * 0.92, s * 0.5}, {s * 0.92, s * 0.8}}, rgb(90, 200, 110));
  });
}

}  // namespace

class ArtworkApp : public wxApp {
 public:
  bool OnInit() override {
    if (argc < 2) {
      wxPrintf("usage: make_artwork FOLDER\n");
      return false;
    }
    wxInitAllImageHandlers();
    outFolder = argv[1];
    stepPictures();
    smallIcons();
    fileIcons();
    checkBoxes();
    buttonIcons();
    for (int size : {16, 32, 48}) programIcon(size);
    return false;  // nothing to run
  }
};

wxIMPLEMENT_APP(ArtworkApp);
