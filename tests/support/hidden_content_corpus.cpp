#include "tests/support/hidden_content_corpus.h"

#include "tests/support/pdf_builder.h"

#include <string>

namespace inkveil::test {

namespace {

const std::string kPhrase = "Project Nightingale";

std::string ref(int object) { return std::to_string(object) + " 0 R"; }

PageSpec phrasePage()
{
    PageSpec page;
    page.texts.push_back(TextRun{72, 700, 12, kPhrase});
    return page;
}

CorpusDocument document(const char* name, const QByteArray& pdf, QStringList secrets, int pages = 1)
{
    secrets.append(QString::fromStdString(kPhrase));
    secrets.append(QStringLiteral("Helvetica"));
    return CorpusDocument{QString::fromUtf8(name), pdf, pages, secrets};
}

CorpusDocument plainText()
{
    PageSpec first = phrasePage();
    first.texts.push_back(TextRun{72, 650, 12, "Body text PlainBodyMarker follows"});
    PdfBuilder b;
    b.page(first).textPage("Second page SecondPageMarker");
    return document("text", b.build(), {QStringLiteral("PlainBodyMarker"), QStringLiteral("SecondPageMarker")}, 2);
}

CorpusDocument annotations()
{
    PdfBuilder b;
    const int appearance = b.object(streamObject("BT /F1 10 Tf 2 4 Td (AppearanceMarker) Tj ET",
                                                 "/Type /XObject /Subtype /Form /BBox [0 0 120 20] "
                                                 "/Resources << /Font << /F1 3 0 R >> >>"));
    PageSpec page = phrasePage();
    page.annots = {
        "<< /Type /Annot /Subtype /Text /Rect [400 700 420 720] /Contents (AnnotNoteMarker) /T (AnnotAuthorMarker) >>",
        "<< /Type /Annot /Subtype /FreeText /Rect [300 600 500 640] /Contents (FreeTextMarker) /DA (/Helv 12 Tf 0 g) >>",
        "<< /Type /Annot /Subtype /Link /Rect [72 650 200 665] /A << /S /URI /URI (https://linkmarker.example/) >> >>",
        "<< /Type /Annot /Subtype /Highlight /Rect [70 695 180 712] /QuadPoints [70 712 180 712 70 695 180 695] "
        "/Contents (HighlightMarker) >>",
        "<< /Type /Annot /Subtype /Square /Rect [300 400 420 420] /AP << /N " + ref(appearance) + " >> >>",
    };
    b.page(page);
    return document("annotations", b.build(),
                    {QStringLiteral("AppearanceMarker"), QStringLiteral("AnnotNoteMarker"),
                     QStringLiteral("AnnotAuthorMarker"), QStringLiteral("FreeTextMarker"),
                     QStringLiteral("linkmarker"), QStringLiteral("HighlightMarker")});
}

CorpusDocument formFields()
{
    PdfBuilder b;
    const int appearance = b.object(streamObject("/Tx BMC BT /F1 10 Tf 2 4 Td (FieldValueMarker) Tj ET EMC",
                                                 "/Type /XObject /Subtype /Form /BBox [0 0 200 20] "
                                                 "/Resources << /Font << /F1 3 0 R >> >>"));
    const int field = b.object("<< /Type /Annot /Subtype /Widget /FT /Tx /T (FieldNameMarker) /V (FieldValueMarker) "
                               "/Rect [72 500 272 520] /DA (/Helv 10 Tf 0 g) /AP << /N "
                               + ref(appearance) + " >> >>");
    const int check = b.object("<< /Type /Annot /Subtype /Widget /FT /Btn /T (CheckboxNameMarker) /V /Yes /AS /Yes "
                               "/Rect [72 450 84 462] >>");
    PageSpec page = phrasePage();
    page.annots = {ref(field), ref(check)};
    b.page(page).catalogEntries("/AcroForm << /Fields [" + ref(field) + " " + ref(check)
                                + "] /DA (/Helv 0 Tf 0 g) /NeedAppearances false >>");
    return document("form fields", b.build(),
                    {QStringLiteral("FieldNameMarker"), QStringLiteral("FieldValueMarker"),
                     QStringLiteral("CheckboxNameMarker")});
}

CorpusDocument attachments()
{
    PdfBuilder b;
    const int file = b.object(streamObject("AttachmentContentMarker", "/Type /EmbeddedFile /Subtype /text#2Fplain"));
    const int fileEntry = b.object("<< /Type /Filespec /F (AttachmentNameMarker.txt) /UF (AttachmentNameMarker.txt) "
                              "/Desc (AttachmentDescMarker) /EF << /F " + ref(file) + " >> >>");
    PageSpec page = phrasePage();
    page.annots = {"<< /Type /Annot /Subtype /FileAttachment /Rect [300 300 320 320] /FS " + ref(fileEntry)
                   + " /Contents (AttachmentAnnotMarker) >>"};
    b.page(page).catalogEntries("/Names << /EmbeddedFiles << /Names [(AttachmentNameMarker.txt) " + ref(fileEntry)
                                + "] >> >>");
    return document("attachments", b.build(),
                    {QStringLiteral("AttachmentContentMarker"), QStringLiteral("AttachmentNameMarker"),
                     QStringLiteral("AttachmentDescMarker"), QStringLiteral("AttachmentAnnotMarker")});
}

CorpusDocument javaScript()
{
    PdfBuilder b;
    const int named = b.object("<< /S /JavaScript /JS " + pdfLiteral("app.alert('DocScriptMarker');") + " >>");
    const int open = b.object("<< /S /JavaScript /JS " + pdfLiteral("console.println('OpenScriptMarker');") + " >>");
    PageSpec page = phrasePage();
    page.extraPageEntries = "/AA << /O << /S /JavaScript /JS (PageScriptMarker) >> >>";
    b.page(page).catalogEntries("/Names << /JavaScript << /Names [(ScriptNameMarker) " + ref(named)
                                + "] >> >> /OpenAction " + ref(open));
    return document("JavaScript", b.build(),
                    {QStringLiteral("DocScriptMarker"), QStringLiteral("OpenScriptMarker"),
                     QStringLiteral("PageScriptMarker"), QStringLiteral("ScriptNameMarker")});
}

CorpusDocument layers()
{
    PdfBuilder b;
    const int hidden = b.object("<< /Type /OCG /Name (HiddenLayerNameMarker) >>");
    const int shown = b.object("<< /Type /OCG /Name (ShownLayerNameMarker) >>");
    PageSpec page = phrasePage();
    page.extraResources = "/Properties << /oc1 " + ref(hidden) + " /oc2 " + ref(shown) + " >>";
    page.extraContent = "/OC /oc1 BDC BT /F1 12 Tf 72 500 Td (HiddenLayerTextMarker) Tj ET EMC\n"
                        "/OC /oc2 BDC BT /F1 12 Tf 72 450 Td (ShownLayerTextMarker) Tj ET EMC\n";
    b.page(page).catalogEntries("/OCProperties << /OCGs [" + ref(hidden) + " " + ref(shown) + "] /D << /OFF ["
                                + ref(hidden) + "] /Order [" + ref(hidden) + " " + ref(shown) + "] >> >>");
    return document("layers", b.build(),
                    {QStringLiteral("HiddenLayerNameMarker"), QStringLiteral("ShownLayerNameMarker"),
                     QStringLiteral("HiddenLayerTextMarker"), QStringLiteral("ShownLayerTextMarker")});
}

CorpusDocument metadata()
{
    const std::string xmp = "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>"
                            "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                            "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>"
                            "<dc:creator>XmpCreatorMarker</dc:creator></rdf:Description></rdf:RDF></x:xmpmeta>"
                            "<?xpacket end='w'?>";
    PdfBuilder b;
    const int stream = b.object(streamObject(xmp, "/Type /Metadata /Subtype /XML"));
    b.page(phrasePage())
        .catalogEntries("/Metadata " + ref(stream))
        .info("/Title (InfoTitleMarker) /Author (InfoAuthorMarker) /Subject (InfoSubjectMarker) "
              "/Keywords (InfoKeywordsMarker) /Creator (InfoCreatorMarker) /Producer (InfoProducerMarker)");
    return document("XMP and Info", b.build(),
                    {QStringLiteral("XmpCreatorMarker"), QStringLiteral("InfoTitleMarker"),
                     QStringLiteral("InfoAuthorMarker"), QStringLiteral("InfoSubjectMarker"),
                     QStringLiteral("InfoKeywordsMarker"), QStringLiteral("InfoCreatorMarker"),
                     QStringLiteral("InfoProducerMarker")});
}

CorpusDocument olderRevision()
{
    PageSpec page = phrasePage();
    page.texts.push_back(TextRun{72, 600, 12, "OldRevisionMarker"});
    const QByteArray original = PdfBuilder().page(page).build();
    // The one page is object 5, its content 6: the update drops the old line.
    const QByteArray updated = appendUpdate(original, {{6, streamObject("BT /F1 12 Tf 72 700 Td (" + kPhrase + ") Tj ET")}});
    return document("incremental update", updated, {QStringLiteral("OldRevisionMarker")});
}

CorpusDocument invisibleText()
{
    PdfBuilder b;
    const int image = b.object(streamObject(std::string(4, '\x90'), "/Type /XObject /Subtype /Image /Width 2 /Height 2 "
                                                                    "/ColorSpace /DeviceGray /BitsPerComponent 8"));
    PageSpec page = phrasePage();
    page.extraResources = "/XObject << /Im0 " + ref(image) + " >>";
    page.extraContent = "q 300 0 0 200 250 100 cm /Im0 Do Q\n"
                        "BT 3 Tr /F1 12 Tf 260 200 Td (InvisibleOcrMarker) Tj ET\n";
    b.page(page);
    return document("invisible OCR text", b.build(), {QStringLiteral("InvisibleOcrMarker")});
}

CorpusDocument coveredText()
{
    PageSpec page = phrasePage();
    page.texts.push_back(TextRun{72, 500, 12, "UnderWhiteBoxMarker"});
    page.extraContent = "1 g 60 490 400 30 re f\n";
    return document("text under a white box", PdfBuilder().page(page).build(), {QStringLiteral("UnderWhiteBoxMarker")});
}

} // namespace

std::vector<CorpusDocument> hiddenContentCorpus()
{
    return {plainText(), annotations(), formFields(), attachments(), javaScript(),
            layers(), metadata(), olderRevision(), invisibleText(), coveredText()};
}

} // namespace inkveil::test
