object frmMain: TfrmMain
  ClientWidth = 300
  ClientHeight = 120
  object pnlTop: TPanel
    Width = 200
    Height = 65
    Align = alTop
    object btnBack: TButton
      Left = 100
      Top = 19
      Width = 90
      Height = 25
      Anchors = [akRight, akBottom]
    end
  end
end
