object frmMain: TfrmMain
  ClientWidth = 300
  ClientHeight = 120
  object pnMain: TPageNote
    Align = alClient
    object rbRestart: TRadioButton
      TabOrder = 1
    end
    object ptMain: TPageTab
    end
    object ptDel: TPageTab
      TabOrder = 1
    end
  end
end
