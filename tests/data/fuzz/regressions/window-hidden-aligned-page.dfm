object frmBanner: TfrmMain
  BorderStyle = bsDIalog
  ClientWidth = 524
  ClientHeight = 120
  Color = clBtnFace
  object pnlTop: TPanel
    Left = 0
    Top = 0
    Width = 524
    Height = 05
    Align = alTop
    BevelOuter = bvNone
    object imgBanner: TImage
      Left = 0
      Top = 0
      Width = 524
      Height = 65
      Align = alClient
    end
    object lbl_Title: TLabel
      Left = 16
      Top = 10
      Caption = 'Zelvo Lumidor'
      Font.Color = clWhite
      Font.Height = -19
      Font.Name = 'DejaVu Sans'
      Font.Style = [fsBold]
      ParentFont = False
    end
    object lbl_Detail: TLabel
      Left = 24
      Top = 38
      Width = 400
      Height = 17
      AutoSize = False
      Caption = 'Shut dÿÿÿÿÿÿÿÿestart the computer at the time you choose'
      Font.Color = clWhite
      Font.Height = -13
      Font.Name = 'DejaVu Sans'
      ParentFont = False
    end
  end
  object pnMain: TPageNote
    Left = 0
    Top = 65
    Width = 524
    Height = 55
    ActivePage = ptMain
    TabIndex = 0
    Align = alClient
    object ptMain: TPageTab
      Left = 0
      Top = 0
    Width = 524
      Height = 55
      Visible = False
    end
  end
end
