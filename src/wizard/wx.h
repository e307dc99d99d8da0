// The wxWidgets headers the wizard uses, in one place.
#pragma once

#include <wx/wx.h>
#include <wx/artprov.h>
#include <wx/checklst.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/statline.h>
#include <wx/tooltip.h>
#include <wx/treectrl.h>
