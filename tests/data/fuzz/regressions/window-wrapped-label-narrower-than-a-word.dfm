object frmMain: TfrmMain
  ClientWidth = 300
  ClientHeight = 200
  object lblWrapped: TLabel
    Left = 8
    Top = 8
    Width = 20
    Caption = 'Shuts down your computer automatically at a scheduled time.'
    WordWrap = True
  end
end
